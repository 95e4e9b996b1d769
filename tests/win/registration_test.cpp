// Registration and removal of a simulated token's certificates, in-process, against the
// current-user stores of the test prefix read back through crypt32.

#include "certstore/registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/system_calls.h"
#include "tests/win/card_database.h"
#include "tests/win/store_probe.h"
#include "tests/win/tokensim_driver.h"
#include "token/card_provider.h"
#include "token/product_info.h"
#include "token/token_access.h"

namespace tessard::testing {
namespace {

const std::wstring kProvider = kProductInfo.providerName;

// A certificate made for the tests, as the token holds it.
tokensim::Certificate Made(const char* name) { return {.der = LoadTestCertificate(name)}; }

// Made with its RSA key on the token.
tokensim::Certificate WithKey(const char* name) { return {.der = LoadTestCertificate(name), .key = true}; }

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
    EXPECT_EQ(tokensim::OpenSessions(), 0);
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
  Sim(tokensim::Insert({.slot = 1,
                        .reader = "Reader One",
                        .certificates = {{.der = Value("user_exchange"), .key = true, .container = "c1"},
                                         Made("ca"),
                                         Made("root"),
                                         Made("user_sign"),
                                         Made("user_ec"),
                                         Made("truncated"),
                                         {.der = Value("user_4096"), .key = true, .container = "c4"}}}));
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
  Sim(tokensim::Insert(
      {.slot = 1,
       .certificates = {{.der = Value("user_exchange"), .key = true, .container = "c1", .encrypt = false},
                        Made("user_sign"),
                        Made("user_no_usage"),
                        Made("ca_by_usage")}}));
  Sim(tokensim::Insert({.slot = 2, .certificates = {{.der = Value("user_exchange"), .container = "c2"}}}));
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
  Sim(tokensim::Insert(
      {.slot = 1, .certificates = {{.der = Value("user_sign"), .key = true, .friendly = "Signing key"}, Made("ca")}}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  const std::wstring name = L"Signing key";
  const auto friendly = FriendlyNameOf(L"MY", Value("user_sign"));
  ASSERT_TRUE(friendly);
  EXPECT_EQ(friendly->size(), (name.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(friendly->data())), name);
  EXPECT_FALSE(FriendlyNameOf(L"CA", Value("ca")));
}

TEST_F(Registration, RemovalTakesOutMyEntriesAndLeavesTheOthers) {
  Sim(tokensim::Insert(
      {.slot = 1, .certificates = {WithKey("user_sign"), Made("ca"), Made("root"), Made("user_no_usage")}}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  ASSERT_TRUE(StoreHolds(L"MY", Value("user_sign")));
  Sim(tokensim::Remove(1));
  token_.OnTokenRemoved(1, false);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
  EXPECT_TRUE(StoreHolds(L"CA", Value("ca")));
  EXPECT_TRUE(StoreHolds(L"ROOT", Value("root")));
  EXPECT_TRUE(StoreHolds(L"ADDRESSBOOK", Value("user_no_usage")));
  EXPECT_FALSE(token_.IsSlotKnown(1));
}

TEST_F(Registration, TheSameCertificateOnTwoTokensStaysRegisteredForTheOther) {
  const tokensim::Certificate same{.der = Value("user_sign"), .key = true, .container = "same"};
  Sim(tokensim::Insert({.slot = 1, .reader = "Reader A", .certificates = {same}}));
  Sim(tokensim::Insert({.slot = 2, .reader = "Reader B", .certificates = {same}}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  Sim(tokensim::Remove(1));
  token_.OnTokenRemoved(1, false);
  const auto entry = KeyProviderOf(L"MY", Value("user_sign"));
  ASSERT_TRUE(entry) << "registered again for the token still inserted";
  EXPECT_EQ(entry->containerName, L"same");
  Sim(tokensim::Remove(2));
  token_.OnTokenRemoved(2, false);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
}

TEST_F(Registration, WipingUnregistersAndEmptiesTheListButKeepsTheSlot) {
  Sim(tokensim::Insert({.slot = 1, .certificates = {WithKey("user_sign")}}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(token_.UnregisterSlotCertificates(1, true));
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
  EXPECT_TRUE(token_.IsSlotKnown(1));
  EXPECT_TRUE(token_.CertificatesOfSlot(1).empty());
}

const CertBytes kTwinName{'M', 0, 'i', 0, 'n', 0, 'h', 0, 0, 0};

// The other program writes its "MY" entry while Tessard waits for it.
void WriteTwinMeanwhile(DWORD) {
  UserStores stores;
  AddCertificateToStore(stores, DecodeCertificate(LoadTestCertificate("user_exchange")).get(),
                        {L"MY", L"elsewhere", L"Another Provider", AT_KEYEXCHANGE, kTwinName, L""});
}

TEST_F(Registration, ANewCertificateTakesTheFriendlyNameOfTheTwinWrittenMeanwhile) {
  Sim(tokensim::Insert({.slot = 1, .certificates = {Made("ca")}}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  const CertBytes value = Value("user_exchange");
  const CertBytes& friendly = kTwinName;
  const std::vector<uint32_t> added = Sim(tokensim::Add(1, {{.der = value, .container = "fresh"}}));
  ASSERT_EQ(added.size(), 1u);
  {
    const auto meanwhile = Pause.Replace(&WriteTwinMeanwhile);
    EXPECT_TRUE(token_.OnObjectCreated(1, added[0]));
  }
  const tokensim::SimState world = tokensim::World();
  const tokensim::SimObject* written = world.FindObject(1, added[0]);
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(written->friendly, friendly) << "the twin's name is written to the token";
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 2u);
  EXPECT_EQ(FriendlyNameOf(L"ADDRESSBOOK", value), friendly) << "registered, with the name now on the token";
}

TEST_F(Registration, ObjectEventsIgnoreDuplicatesAndNonCertificates) {
  const std::vector<uint32_t> handles =
      Sim(tokensim::Insert({.slot = 1, .certificates = {{.der = Value("user_sign"), .key = true, .container = "c1"}}}));
  ASSERT_EQ(handles.size(), 2u);
  const uint32_t certificate = handles[0], key = handles[1];
  ASSERT_EQ(token_.Open(), CKR_OK);
  token_.OnObjectCreated(1, certificate);
  token_.OnObjectCreated(1, key);
  token_.OnObjectCreated(7, certificate);
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 1u);
  const tokensim::SimState world = tokensim::World();
  ASSERT_NE(world.FindObject(1, certificate), nullptr);
  EXPECT_TRUE(world.FindObject(1, certificate)->friendly.empty())
      << "no twin with a name: nothing is written to the token";

  token_.OnObjectDeleted(1, key);
  EXPECT_TRUE(StoreHolds(L"MY", Value("user_sign"))) << "a handle that is no listed certificate changes nothing";
  token_.OnObjectDeleted(1, certificate);
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
        AddCertificateToStore(stores, DecodeCertificate(stale).get(), {L"MY", L"old", upper, AT_SIGNATURE, {}, L""}));
    ASSERT_TRUE(AddCertificateToStore(stores, DecodeCertificate(foreign).get(),
                                      {L"MY", L"old", L"Another Provider", AT_SIGNATURE, {}, L""}));
  }
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_FALSE(StoreHolds(L"MY", stale));
  EXPECT_TRUE(StoreHolds(L"MY", foreign));
}

TEST_F(Registration, ExpiryCountsEveryCertificateOfTheSlot) {
  Sim(tokensim::Insert({.slot = 1, .certificates = {Made("truncated"), Made("user_sign"), Made("expires_in_10")}}));
  Sim(tokensim::Insert({.slot = 2, .certificates = {Made("expired")}}));
  Sim(tokensim::Insert({.slot = 3}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(token_.CheckExpiry(1, 11)) << "a certificate of ADDRESSBOOK counts as much as any";
  EXPECT_FALSE(token_.CheckExpiry(1, 11)) << "each certificate is warned of once for an insertion";
  EXPECT_FALSE(token_.CheckExpiry(2, -1));
  EXPECT_TRUE(token_.CheckExpiry(2, 0));
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

TEST_F(Registration, WithTheKeyStorageProviderTheEntriesNameItWithProviderTypeZeroAndGoAtRemoval) {
  token_.Close();
  TokenAccess storage({.moduleFolder = {}, .keyStorageProvider = true, .twinSettleMs = 0});
  Sim(tokensim::Insert({.slot = 1, .certificates = {WithKey("user_sign")}}));
  ASSERT_EQ(storage.Open(), CKR_OK);
  const auto entry = KeyProviderOf(L"MY", Value("user_sign"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->providerName, kProductInfo.keyStorageProviderName);
  EXPECT_EQ(entry->providerType, 0u);
  Sim(tokensim::Remove(1));
  storage.OnTokenRemoved(1, false);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
  storage.Close();
}

TEST_F(Registration, AnUninitialisedTokenIsRegisteredOnlyWhenPresentAtStartUp) {
  Sim(tokensim::Insert({.slot = 1, .initialized = false, .certificates = {WithKey("user_sign")}}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(StoreHolds(L"MY", Value("user_sign")));
  Sim(tokensim::Remove(1));
  token_.OnTokenRemoved(1, false);
  Sim(tokensim::Insert({.slot = 2, .initialized = false, .certificates = {WithKey("user_sign")}}));
  EXPECT_TRUE(token_.OnTokenInserted(2, L""));
  EXPECT_EQ(token_.CertificatesOfSlot(2).size(), 1u) << "entered with its certificates";
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
}

// Each token's entries name the provider of its own card; its removal takes them out whatever
// another token's card named meanwhile.
TEST_F(Registration, EachTokensEntriesNameTheProviderOfItsOwnCard) {
  const wchar_t cardProvider[] = L"Tessard Card Provider";
  const tokensim::Bytes cardAtr{0x3B, 0xDA, 0x18, 0xFF, 0x81, 0xB1, 0xFE, 0x75, 0x1F, 0x03};
  CardType card(cardAtr, cardProvider);
  Sim(tokensim::Insert(
      {.slot = 1, .reader = "Other Reader", .atr = {0x3B, 0x02, 0x01}, .certificates = {WithKey("user_sign")}}));
  Sim(tokensim::Insert(
      {.slot = 2, .reader = "Card Reader", .atr = cardAtr, .certificates = {WithKey("user_exchange")}}));
  ASSERT_EQ(token_.Open(), CKR_OK);
  const auto carded = KeyProviderOf(L"MY", Value("user_exchange"));
  const auto plain = KeyProviderOf(L"MY", Value("user_sign"));
  ASSERT_TRUE(carded && plain);
  EXPECT_EQ(carded->providerName, cardProvider);
  EXPECT_EQ(plain->providerName, kProductInfo.providerName);
  Sim(tokensim::Remove(1));
  token_.OnTokenRemoved(1, false);
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_sign")));
  EXPECT_TRUE(token_.PurgeProviderCertificates());
  EXPECT_FALSE(StoreHolds(L"MY", Value("user_exchange")));
}

}  // namespace
}  // namespace tessard::testing
