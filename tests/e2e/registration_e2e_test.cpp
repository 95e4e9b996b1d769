// What the running program leaves in the user's stores as tokens come and go, read back
// through crypt32 as the programs that use the certificates read them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certstore/registration.h"
#include "tests/e2e/token_program.h"
#include "tests/win/card_database.h"
#include "tests/win/store_probe.h"
#include "token/card_provider.h"
#include "token/product_info.h"

namespace tessard::e2e {
namespace {

using testing::KeyProviderOf;
using testing::LoadTestCertificate;
using testing::StoreHolds;

std::string Cert(const std::string& name) { return " --cert " + testing::MadeCertificatePath(name); }

class StoresOfTheProgram : public TestCertificatesProgram {
 protected:
  bool InMy() const { return StoreHolds(L"MY", user_); }
};

TEST_F(StoresOfTheProgram, InsertionFillsEveryStoreAndRemovalEmptiesOnlyMy) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents()) << Tokensim("list").output;
  Sim("insert --slot 1" + Cert("user_exchange") + " --key --container c1" + Cert("ca") + Cert("root") +
      Cert("user_sign"));
  // Registered in the token's order: the last one in means all are.
  ASSERT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"ADDRESSBOOK", other_); }));
  const auto entry = KeyProviderOf(L"MY", user_);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->containerName, L"c1");
  EXPECT_EQ(entry->providerName, kProductInfo.providerName);
  EXPECT_EQ(entry->keySpec, static_cast<DWORD>(AT_KEYEXCHANGE));
  EXPECT_TRUE(StoreHolds(L"CA", ca_));
  EXPECT_TRUE(StoreHolds(L"ROOT", root_));
  EXPECT_TRUE(StoreHolds(L"ADDRESSBOOK", other_));

  Sim("remove --slot 1");
  EXPECT_TRUE(PollUntil(10s, [this] { return !InMy(); }));
  EXPECT_TRUE(StoreHolds(L"CA", ca_));
  EXPECT_TRUE(StoreHolds(L"ROOT", root_));
  EXPECT_TRUE(StoreHolds(L"ADDRESSBOOK", other_));
}

// The slot whose token leaves first; the other's goes after it.
class TwoTokensOfTheProgram : public StoresOfTheProgram, public ::testing::WithParamInterface<int> {};

TEST_P(TwoTokensOfTheProgram, ACertificateOnTwoTokensOutlivesTheRemovalOfEither) {
  const int first = GetParam();
  const int second = 3 - first;
  Sim("insert --slot 1 --reader \"Reader A\"" + Cert("user_exchange") + " --key --container same");
  Sim("insert --slot 2 --reader \"Reader B\"" + Cert("user_exchange") + " --key --container same");
  Program program = StartInstance();
  ASSERT_TRUE(PollUntil(10s, [this] { return InMy(); }));
  Sim("remove --slot " + std::to_string(first));
  // The window handles events in order: once a later token is registered, the removal has
  // been handled, and the entry must be back for the token still in.
  Sim("insert --slot 3" + Cert("ca"));
  ASSERT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"CA", ca_); }));
  EXPECT_TRUE(InMy()) << "not registered again for the token still in";
  Sim("remove --slot " + std::to_string(second));
  EXPECT_TRUE(PollUntil(10s, [this] { return !InMy(); }));
}

INSTANTIATE_TEST_SUITE_P(EitherOrder, TwoTokensOfTheProgram, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 1 ? std::string("FirstInsertedLeavesFirst")
                                                  : std::string("LastInsertedLeavesFirst");
                         });

// A token pulled out while the program registers its many certificates: the removal waits
// for the registration, and no "MY" entry stays.
TEST_F(StoresOfTheProgram, ATokenRemovedWhileItsManyCertificatesAreRegisteredLeavesNoEntry) {
  constexpr const char* kOthers[] = {"ca",          "root",           "user_sign", "user_no_usage",
                                     "ca_by_usage", "not_ca_signing", "user_1024"};
  std::vector<CertBytes> others;
  for (const char* name : kOthers) others.push_back(LoadTestCertificate(name));
  tokensim::Token token{.slot = 1, .certificates = {{.der = user_, .key = true}}};
  for (size_t i = 0; token.certificates.size() < 50; ++i)
    token.certificates.push_back({.der = others[i % others.size()]});
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  tokensim::ResetCalls();
  testing::Sim(tokensim::Insert(token));
  // The read is over once its session closes; the registration follows.
  ASSERT_TRUE(
      testing::WaitUntil([] { return tokensim::Calls()[static_cast<size_t>(tokensim::Entry::C_CloseSession)] > 0; }));
  testing::Sim(tokensim::Remove(1));
  // Events are handled in order: once a later token is in, the removal has been handled.
  Sim("insert --slot 3" + Cert("user_4096") + " --key");
  const CertBytes later = LoadTestCertificate("user_4096");
  EXPECT_TRUE(PollUntil(10s, [&] { return StoreHolds(L"MY", later); }));
  EXPECT_FALSE(InMy()) << "the removed token's entry stayed";
  for (const CertBytes& other : others) testing::RemoveFromAllStores({&other});
  testing::RemoveFromAllStores({&later});
}

TEST_F(StoresOfTheProgram, ObjectsAddedAndDeletedOnTheTokenFollowInTheStore) {
  Sim("insert --slot 1" + Cert("ca"));
  Program program = StartInstance();
  ASSERT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"CA", ca_); }));
  // Another program has made the "MY" entry of a certificate it is writing to the token.
  const CertBytes friendly{'H', 0, 'o', 0, 'a', 0, 0, 0};
  {
    UserStores stores;
    ASSERT_TRUE(AddCertificateToStore(stores, DecodeCertificate(user_).get(),
                                      {L"MY", L"writer", L"Writer Provider", AT_KEYEXCHANGE, friendly, L""}));
  }
  Sim("add --slot 1" + Cert("user_exchange") + " --key --container fresh");
  EXPECT_TRUE(PollUntil(10s, [] { return Tokensim("list").output.find("friendly \"Hoa\"") != std::string::npos; }))
      << Tokensim("list").output;
  EXPECT_TRUE(PollUntil(10s, [this] {
    const auto entry = KeyProviderOf(L"MY", user_);
    return entry && entry->containerName == L"fresh";
  }));
  const auto entry = KeyProviderOf(L"MY", user_);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->providerName, kProductInfo.providerName);

  Sim("delete --slot 1" + Cert("user_exchange"));
  EXPECT_TRUE(PollUntil(10s, [this] { return !InMy(); }));
  EXPECT_TRUE(StoreHolds(L"CA", ca_));
}

// A card type of the machine's smart-card database that names the shared base smart-card
// provider, as a token with a minidriver has, and an entry of that provider that another
// program (the system's certificate propagation, say) made for another card.
class SharedProviderOfTheProgram : public StoresOfTheProgram {
 protected:
  static constexpr wchar_t kBaseProvider[] = L"Microsoft Base Smart Card Crypto Provider";
  static constexpr char kCardAtr[] = "3BDA18FF81B1FE751F03";
  static constexpr wchar_t kCardType[] = L"Tessard Shared Card";

  void SetUp() override {
    StoresOfTheProgram::SetUp();
    testing::AddCardType(kSmartCardDatabase, kCardType, {0x3B, 0xDA, 0x18, 0xFF, 0x81, 0xB1, 0xFE, 0x75, 0x1F, 0x03},
                         std::vector<uint8_t>(10, 0xFF), kBaseProvider);
  }
  void TearDown() override {
    StoresOfTheProgram::TearDown();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kSmartCardDatabase) + L"\\" + kCardType).c_str());
    testing::RemoveFromAllStores({&theirs_});
  }

  // Another program's entry of the shared provider, for another card's key.
  void AddTheirs() {
    UserStores stores;
    ASSERT_TRUE(AddCertificateToStore(stores, DecodeCertificate(theirs_).get(),
                                      {L"MY", L"\\\\.\\Other Reader\\theirs", kBaseProvider, AT_KEYEXCHANGE, {}, L""}));
  }
  static std::string CardToken(int slot, const char* certificate) {
    return "insert --slot " + std::to_string(slot) + " --reader \"Card Reader\" --atr " + kCardAtr + Cert(certificate) +
           " --key";
  }

  const CertBytes theirs_ = LoadTestCertificate("user_no_usage");
};

// A token of the product's provider, then one whose card names the shared provider: each leaves
// with its own entries, whatever provider came after it, and another program's entry of the
// shared provider outlives start, insertion, removal and the end.
TEST_F(SharedProviderOfTheProgram, EachTokenTakesItsOwnEntriesAndNoOneElses) {
  AddTheirs();
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("insert --slot 1 --reader \"Plain Reader\"" + Cert("user_exchange") + " --key");
  ASSERT_TRUE(PollUntil(10s, [this] { return InMy(); }));
  Sim(CardToken(2, "user_sign"));
  ASSERT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"MY", other_); }));
  EXPECT_EQ(KeyProviderOf(L"MY", other_)->providerName, kBaseProvider);
  Sim("remove --slot 1");
  EXPECT_TRUE(PollUntil(10s, [this] { return !InMy(); })) << "the first token's entry stayed";
  Sim("remove --slot 2");
  EXPECT_TRUE(PollUntil(10s, [this] { return !StoreHolds(L"MY", other_); }));
  EndRunningInstance();
  EXPECT_TRUE(StoreHolds(L"MY", theirs_)) << "another program's entry was taken";
}

// What a killed instance left goes at the next start, whichever provider it names, and so
// does what earlier versions left unmarked for the product's provider; others' entries stay.
TEST_F(SharedProviderOfTheProgram, EntriesOfAKilledInstanceGoAtTheNextStart) {
  AddTheirs();
  Sim(CardToken(1, "user_exchange"));
  {
    Program program = StartInstance();
    ASSERT_TRUE(PollUntil(10s, [this] { return InMy(); }));
    program.Kill();
  }
  EXPECT_TRUE(InMy()) << "nothing ran to take it out";
  {
    UserStores stores;
    ASSERT_TRUE(AddCertificateToStore(stores, DecodeCertificate(other_).get(),
                                      {L"MY", L"old", kProductInfo.providerName, AT_SIGNATURE, {}, L""}));
  }
  Sim("remove --slot 1");
  Program program = StartInstance();
  EXPECT_TRUE(PollUntil(10s, [this] { return !InMy() && !StoreHolds(L"MY", other_); }));
  EXPECT_TRUE(StoreHolds(L"MY", theirs_));
}

}  // namespace
}  // namespace tessard::e2e
