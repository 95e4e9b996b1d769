// Registration and removal of a simulated token's certificates, in-process, against the
// current-user stores of the test prefix read back through crypt32.

#include "certstore/registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/win/card_database.h"
#include "tests/win/store_probe.h"
#include "tests/win/tokensim_driver.h"
#include "token/card_provider.h"
#include "token/product_info.h"
#include "token/token_access.h"

namespace tessard::testing {
namespace {

const std::wstring kProvider = kProductInfo.providerName;

std::string Cert(const std::string& name) { return " --cert " + MadeCertificatePath(name); }

// The handle tokensim gave the last object it added.
unsigned long AddedHandle(const TokensimRun& run) {
  const auto at = run.output.rfind("added object ");
  return at == std::string::npos ? 0 : std::stoul(run.output.substr(at + 13));
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    UseOwnSimulatorWorld();
    for (const char* name : {"user_exchange", "user_sign", "user_no_usage", "user_4096", "user_ec", "ca", "root",
                             "ca_by_usage", "truncated", "expired", "expires_in_10"}) {
      values_.push_back(LoadTestCertificate(name));
    }
    ForgetCertificates();
  }
  void TearDown() override {
    token_.Close();
    EXPECT_EQ(OpenSessions(), 0);
    ForgetCertificates();
  }

  void ForgetCertificates() {
    for (const CertBytes& value : values_) RemoveFromAllStores({&value});
  }

  static CertBytes Value(const char* name) { return LoadTestCertificate(name); }

  TokenAccess token_;
  std::vector<CertBytes> values_;
};

TEST_F(Registration, EachCertificateGoesToTheStoreItsKeyAndKindDecide) {
  Sim("insert --slot 1 --reader \"Reader One\"" + Cert("user_exchange") + " --key --container c1" + Cert("ca") +
      Cert("root") + Cert("user_sign") + Cert("user_ec") + Cert("truncated") + Cert("user_4096") +
      " --key --container c4");
  ASSERT_EQ(token_.Open(), CKR_OK);

  const auto personal = KeyProviderOf(L"MY", Value("user_exchange"));
  ASSERT_TRUE(personal) << "a certificate with its key on the token belongs in MY";
  EXPECT_EQ(personal->containerName, L"c1");
  EXPECT_EQ(personal->providerName, kProvider);
  EXPECT_EQ(personal->providerType, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(personal->flags, 0u);
  EXPECT_EQ(personal->keySpec, static_cast<DWORD>(AT_KEYEXCHANGE));
  EXPECT_TRUE(KeyProviderOf(L"MY", Value("user_4096"))) << "a 4096-bit modulus is read too";

  EXPECT_TRUE(StoreHolds(L"CA", Value("ca")));
  EXPECT_TRUE(StoreHolds(L"ROOT", Value("root")));
  EXPECT_TRUE(StoreHolds(L"ADDRESSBOOK", Value("user_sign")));
  EXPECT_TRUE(StoreHolds(L"ADDRESSBOOK", Value("user_ec")));
  for (const char* name : {"ca", "root", "user_sign", "user_ec"}) {
    EXPECT_FALSE(StoreHolds(L"MY", Value(name))) << name;
  }
  EXPECT_FALSE(KeyProviderOf(L"CA", Value("ca"))) << "only MY entries name a key";
  for (const wchar_t* store : {L"MY", L"CA", L"ROOT", L"ADDRESSBOOK"}) {
    EXPECT_FALSE(StoreHolds(store, Value("truncated"))) << "a malformed certificate is registered nowhere";
  }
}

TEST_F(Registration, KeySpecComesFromTheKeyObjectElseFromKeyUsage) {
  Sim("insert --slot 1" + Cert("user_exchange") + " --key --container c1 --encrypt 0" + Cert("user_sign") +
      Cert("user_no_usage") + Cert("ca_by_usage"));
  Sim("insert --slot 2" + Cert("user_exchange") + " --container c2");
  ASSERT_EQ(token_.Open(), CKR_OK);

  const auto personal = KeyProviderOf(L"MY", Value("user_exchange"));
  ASSERT_TRUE(personal);
  EXPECT_EQ(personal->keySpec, static_cast<DWORD>(AT_SIGNATURE)) << "CKA_ENCRYPT false beats the key usage";

  const std::vector<TokenCertificate> first = token_.CertificatesOfSlot(1);
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0].keySpec, static_cast<DWORD>(AT_SIGNATURE));
  EXPECT_EQ(first[1].keySpec, static_cast<DWORD>(AT_SIGNATURE)) << "digital signature only";
  EXPECT_EQ(first[2].keySpec, static_cast<DWORD>(AT_KEYEXCHANGE)) << "no key usage";
  EXPECT_EQ(first[3].keySpec, static_cast<DWORD>(AT_KEYEXCHANGE)) << "certificate signing only";
  const std::vector<TokenCertificate> second = token_.CertificatesOfSlot(2);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].keySpec, static_cast<DWORD>(AT_KEYEXCHANGE)) << "without its key: encipherment usage";
}

TEST_F(Registration, TheTokensFriendlyNameIsCarriedIntoTheStore) {
  Sim("insert --slot 1" + Cert("user_sign") + " --key --friendly \"Signing key\"" + Cert("ca"));
  ASSERT_EQ(token_.Open(), CKR_OK);
  const std::wstring name = L"Signing key";
  const auto friendly = FriendlyNameOf(L"MY", Value("user_sign"));
  ASSERT_TRUE(friendly);
  EXPECT_EQ(friendly->size(), (name.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(friendly->data())), name);
  EXPECT_FALSE(FriendlyNameOf(L"CA", Value("ca")));
}

TEST_F(Registration, RemovalTakesOutMyEntriesAndLeavesTheOthers) {
  Sim("insert --slot 1" + Cert("user_sign") + " --key" + Cert("ca") + Cert("root") + Cert("user_no_usage"));
  ASSERT_EQ(token_.Open(), CKR_OK);
  ASSERT_TRUE(StoreHolds(L"MY", Value("user_sign")));
  Sim("remove --slot 1");
  token_.OnTokenRemoved(1, false);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
  EXPECT_TRUE(StoreHolds(L"CA", Value("ca")));
  EXPECT_TRUE(StoreHolds(L"ROOT", Value("root")));
  EXPECT_TRUE(StoreHolds(L"ADDRESSBOOK", Value("user_no_usage")));
  EXPECT_FALSE(token_.IsSlotKnown(1));
}

TEST_F(Registration, TheSameCertificateOnTwoTokensStaysRegisteredForTheOther) {
  Sim("insert --slot 1 --reader \"Reader A\"" + Cert("user_sign") + " --key --container same");
  Sim("insert --slot 2 --reader \"Reader B\"" + Cert("user_sign") + " --key --container same");
  ASSERT_EQ(token_.Open(), CKR_OK);
  Sim("remove --slot 1");
  token_.OnTokenRemoved(1, false);
  const auto entry = KeyProviderOf(L"MY", Value("user_sign"));
  ASSERT_TRUE(entry) << "registered again for the token still inserted";
  EXPECT_EQ(entry->containerName, L"same");
  Sim("remove --slot 2");
  token_.OnTokenRemoved(2, false);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
}

TEST_F(Registration, WipingUnregistersAndEmptiesTheListButKeepsTheSlot) {
  Sim("insert --slot 1" + Cert("user_sign") + " --key");
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(token_.UnregisterSlotCertificates(1, true));
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
  EXPECT_TRUE(token_.IsSlotKnown(1));
  EXPECT_TRUE(token_.CertificatesOfSlot(1).empty());
}

TEST_F(Registration, ANewCertificateTakesTheFriendlyNameOfItsTwinInMy) {
  Sim("insert --slot 1" + Cert("ca"));
  ASSERT_EQ(token_.Open(), CKR_OK);
  const CertBytes value = Value("user_exchange");
  const CertBytes friendly{'M', 0, 'i', 0, 'n', 0, 'h', 0, 0, 0};
  {
    UserStores stores;
    ASSERT_TRUE(AddCertificateToStore(stores, DecodeCertificate(value).get(),
                                      {L"MY", L"elsewhere", L"Another Provider", AT_KEYEXCHANGE, friendly}));
  }

  TokensimRun added = Tokensim("add --slot 1" + Cert("user_exchange") + " --container fresh");
  ASSERT_EQ(added.exitCode, 0u);
  token_.OnObjectCreated(1, AddedHandle(added));
  const std::string listed = Tokensim("list --slot 1").output;
  EXPECT_NE(listed.find("friendly \"Minh\""), std::string::npos) << listed;
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 2u);
  EXPECT_EQ(FriendlyNameOf(L"ADDRESSBOOK", value), friendly) << "registered, with the name now on the token";
}

TEST_F(Registration, ObjectEventsIgnoreDuplicatesAndNonCertificates) {
  TokensimRun inserted = Tokensim("insert --slot 1" + Cert("user_sign") + " --key --container c1");
  ASSERT_EQ(inserted.exitCode, 0u);
  ASSERT_EQ(token_.Open(), CKR_OK);
  // Handles 1 and 2: the certificate and its public key.
  token_.OnObjectCreated(1, 1);
  token_.OnObjectCreated(1, 2);
  token_.OnObjectCreated(7, 1);
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 1u);
  EXPECT_NE(Tokensim("list --slot 1").output.find("friendly \"\""), std::string::npos)
      << "no twin with a name: nothing is written to the token";

  token_.OnObjectDeleted(1, 2);
  EXPECT_TRUE(StoreHolds(L"MY", Value("user_sign"))) << "a handle that is no listed certificate changes nothing";
  token_.OnObjectDeleted(1, 1);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
  EXPECT_TRUE(token_.CertificatesOfSlot(1).empty());
}

TEST_F(Registration, OpenPurgesEntriesOfTheProviderInAnyCase) {
  const CertBytes stale = Value("user_sign");
  const CertBytes foreign = Value("user_no_usage");
  std::wstring upper = kProvider;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(::towupper(c));
  {
    UserStores stores;
    ASSERT_TRUE(
        AddCertificateToStore(stores, DecodeCertificate(stale).get(), {L"MY", L"old", upper, AT_SIGNATURE, {}}));
    ASSERT_TRUE(AddCertificateToStore(stores, DecodeCertificate(foreign).get(),
                                      {L"MY", L"old", L"Another Provider", AT_SIGNATURE, {}}));
  }
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_FALSE(StoreHolds(L"MY", stale));
  EXPECT_TRUE(StoreHolds(L"MY", foreign));
}

TEST_F(Registration, ExpiryCountsEveryCertificateOfTheSlot) {
  Sim("insert --slot 1" + Cert("truncated") + Cert("user_sign") + Cert("expires_in_10"));
  Sim("insert --slot 2" + Cert("expired"));
  Sim("insert --slot 3");
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_FALSE(token_.CheckExpiry(1, 0));
  EXPECT_FALSE(token_.CheckExpiry(1, 9));
  EXPECT_TRUE(token_.CheckExpiry(1, 11)) << "a certificate of ADDRESSBOOK counts as much as any";
  EXPECT_TRUE(token_.CheckExpiry(2, 0));
  EXPECT_FALSE(token_.CheckExpiry(2, -1));
  EXPECT_FALSE(token_.CheckExpiry(3, 365));
  EXPECT_FALSE(token_.CheckExpiry(4, 365));
}

// A card type of the machine's smart-card database, for the card the simulator puts in a
// reader; removed again at the end.
class CardType {
 public:
  CardType(const std::vector<uint8_t>& atr, const wchar_t* provider) {
    AddCardType(kSmartCardDatabase, kName, atr, std::vector<uint8_t>(atr.size(), 0xFF), provider);
  }
  ~CardType() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kSmartCardDatabase) + L"\\" + kName).c_str()); }

 private:
  static constexpr wchar_t kName[] = L"Tessard Test Card";
};

TEST_F(Registration, TheCardTypeOfTheReadersCardNamesTheProviderFromThenOn) {
  const wchar_t cardProvider[] = L"Tessard Card Provider";
  CardType card({0x3B, 0xDA, 0x18, 0xFF, 0x81, 0xB1, 0xFE, 0x75, 0x1F, 0x03}, cardProvider);
  Sim("insert --slot 1 --reader \"Card Reader\" --atr 3BDA18FF81B1FE751F03" + Cert("user_exchange") + " --key");
  Sim("insert --slot 2 --reader \"Other Reader\" --atr 3B0201" + Cert("user_sign") + " --key");
  ASSERT_EQ(token_.Open(), CKR_OK);
  const auto found = KeyProviderOf(L"MY", Value("user_exchange"));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->providerName, cardProvider);

  // A later token without a known card type keeps the provider found; removal and the
  // purge at exit compare against it.
  Sim("insert --slot 3 --reader \"Third Reader\" --atr 3B0202" + Cert("user_no_usage") + " --key");
  token_.OnTokenInserted(3, L"");
  const auto kept = KeyProviderOf(L"MY", Value("user_no_usage"));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->providerName, cardProvider);
  Sim("remove --slot 3");
  token_.OnTokenRemoved(3, false);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_no_usage")));
  EXPECT_TRUE(token_.PurgeProviderCertificates());
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_exchange")));
}

}  // namespace
}  // namespace tessard::testing
