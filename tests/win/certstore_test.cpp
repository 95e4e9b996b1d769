// Certificate registration against the real current-user stores of the test prefix, with
// certificates made by scripts/make-test-certs; results are read back through crypt32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "certstore/expiry.h"
#include "certstore/registration.h"
#include "certstore/removal.h"
#include "tools/tokensim/sim_world.h"
#include "tests/win/store_probe.h"

namespace tessard {
namespace {

CertBytes Load(const char* name) { return testing::LoadTestCertificate(name); }

const wchar_t* AuthorityStoreOf(const char* name) {
  const UniqueCertContext certificate = DecodeCertificate(Load(name));
  return certificate ? ChooseAuthorityStore(certificate.get()) : L"(does not decode)";
}

std::optional<CertBytes> ModulusOf(const char* name) {
  const UniqueCertContext certificate = DecodeCertificate(Load(name));
  return certificate ? ExtractRsaModulus(certificate.get()) : std::nullopt;
}

TEST(AuthorityStore, ChosenBySelfSignatureThenConstraintsThenUsage) {
  EXPECT_STREQ(AuthorityStoreOf("root"), L"ROOT");
  EXPECT_STREQ(AuthorityStoreOf("root_not_ca"), L"ROOT") << "self-signed beats fCA false";
  EXPECT_STREQ(AuthorityStoreOf("ca"), L"CA");
  EXPECT_STREQ(AuthorityStoreOf("not_ca_signing"), L"ADDRESSBOOK") << "fCA false beats cert-signing usage";
  EXPECT_STREQ(AuthorityStoreOf("ca_by_usage"), L"CA");
  EXPECT_STREQ(AuthorityStoreOf("user_sign"), L"ADDRESSBOOK");
  EXPECT_STREQ(AuthorityStoreOf("user_no_usage"), L"ADDRESSBOOK");
  EXPECT_FALSE(DecodeCertificate(Load("truncated")));
  EXPECT_FALSE(DecodeCertificate({}));
}

TEST(KeySpec, FollowsKeyUsageWithEnciphermentFirst) {
  EXPECT_EQ(KeySpecFromKeyUsage(DecodeCertificate(Load("user_sign")).get()), static_cast<DWORD>(AT_SIGNATURE));
  EXPECT_EQ(KeySpecFromKeyUsage(DecodeCertificate(Load("user_exchange")).get()), static_cast<DWORD>(AT_KEYEXCHANGE));
  EXPECT_EQ(KeySpecFromKeyUsage(DecodeCertificate(Load("user_no_usage")).get()), static_cast<DWORD>(AT_KEYEXCHANGE));
}

TEST(KeySpec, ComesOnlyFromAnRsaKeyOfTheSameIdAndContainerThatSaysWhetherItEncrypts) {
  CertificateFacts certificate;
  certificate.id = {1, 2};
  certificate.containerName = L"c1";
  const PublicKeyFacts signing{{1, 2}, L"c1", {}, true, false};
  EXPECT_EQ(FindKeySpec(certificate, {signing}), static_cast<DWORD>(AT_SIGNATURE));
  EXPECT_EQ(FindKeySpec(certificate, {{{1, 2}, L"c1", {}, true, true}}), static_cast<DWORD>(AT_KEYEXCHANGE));
  EXPECT_EQ(FindKeySpec(certificate, {{{1, 2}, L"c1", {}, true, std::nullopt}}), std::nullopt) << "CKA_ENCRYPT unread";
  EXPECT_EQ(FindKeySpec(certificate, {{{1, 2}, L"c1", {}, false, false}}), std::nullopt) << "not RSA";
  EXPECT_EQ(FindKeySpec(certificate, {{{1, 3}, L"c1", {}, true, false}}), std::nullopt) << "another id";
  EXPECT_EQ(FindKeySpec(certificate, {{{1, 2}, L"c2", {}, true, false}}), std::nullopt) << "another container";
}

TEST(RsaModulusOfCertificate, EqualsWhatCrypt32DecodesForEveryKeySize) {
  for (const char* name : {"user_1024", "user_sign", "user_4096", "key_well_formed"}) {
    const std::optional<CertBytes> modulus = ModulusOf(name);
    ASSERT_TRUE(modulus) << name;
    EXPECT_EQ(*modulus, tokensim::RsaModulusOf(Load(name))) << name << ": not what crypt32 decodes";
    EXPECT_NE(modulus->front(), 0) << name;
  }
}

TEST(RsaModulusOfCertificate, MalformedOrNonRsaKeysGiveNone) {
  for (const char* name : {"user_ec", "key_length_past_end", "key_three_byte_length", "key_not_integer"}) {
    EXPECT_EQ(ModulusOf(name), std::nullopt) << name;
  }
}

TEST(RsaModulusOfCertificate, AKeyWithTheModulusMakesAUserCertificate) {
  const UniqueCertContext certificate = DecodeCertificate(Load("user_sign"));
  const CertBytes modulus = *ExtractRsaModulus(certificate.get());
  EXPECT_TRUE(IsUserCertificate(certificate.get(), {{{}, L"", {9}, true, true}, {{}, L"", modulus, true, true}}));
  EXPECT_FALSE(IsUserCertificate(certificate.get(), {{{}, L"", *ModulusOf("user_exchange"), true, true}}));
  EXPECT_FALSE(IsUserCertificate(certificate.get(), {}));
  const UniqueCertContext ec = DecodeCertificate(Load("user_ec"));
  EXPECT_FALSE(IsUserCertificate(ec.get(), {{{}, L"", {}, false, true}})) << "no modulus matches an empty one";
}

constexpr wchar_t kProvider[] = L"Tessard Test Provider";
constexpr wchar_t kOtherProvider[] = L"Another Provider";

using testing::KeyProviderOf;
using testing::StoreHolds;

// Each of these is one operation: its stores are closed, and what it changed is written, on
// return.
bool Add(const CertBytes& value, const StoreAddition& addition) {
  UserStores stores;
  return AddCertificateToStore(stores, DecodeCertificate(value).get(), addition);
}

bool Unregister(const RegisteredKey& key) {
  UserStores stores;
  return UnregisterKeys(stores, {&key, 1});
}

bool Purge(const std::wstring& provider) {
  UserStores stores;
  return PurgeProvider(stores, provider);
}

class PersonalStore : public ::testing::Test {
 protected:
  void TearDown() override {
    Purge(kProvider);
    Purge(kOtherProvider);
  }

  static void AddToMy(const CertBytes& value, const wchar_t* container, DWORD keySpec,
                      const wchar_t* provider = kProvider) {
    ASSERT_TRUE(Add(value, {kPersonalStore, container, provider, keySpec, std::nullopt}));
  }
};

TEST_F(PersonalStore, EntryCarriesKeyProviderInfoAndFriendlyName) {
  const CertBytes value = Load("user_exchange");
  const CertBytes friendly{'A', 0, 'l', 0, 'i', 0, 0, 0};
  ASSERT_TRUE(Add(value, {kPersonalStore, L"container-7", kProvider, AT_KEYEXCHANGE, friendly}));

  const auto info = KeyProviderOf(kPersonalStore, value);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->containerName, L"container-7");
  EXPECT_EQ(info->providerName, kProvider);
  EXPECT_EQ(info->providerType, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(info->flags, 0u);
  EXPECT_EQ(info->keySpec, static_cast<DWORD>(AT_KEYEXCHANGE));

  UserStores stores;
  EXPECT_EQ(ReadFriendlyNameOfTwin(stores.Get(kPersonalStore), value), friendly);
}

TEST_F(PersonalStore, AddingAgainReplacesTheKeyProviderInfo) {
  const CertBytes value = Load("user_exchange");
  AddToMy(value, L"first", AT_SIGNATURE, kOtherProvider);
  AddToMy(value, L"second", AT_KEYEXCHANGE);
  const auto info = KeyProviderOf(kPersonalStore, value);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->containerName, L"second");
  EXPECT_EQ(info->providerName, kProvider);
  EXPECT_EQ(info->keySpec, static_cast<DWORD>(AT_KEYEXCHANGE));
}

TEST_F(PersonalStore, TwinWithoutFriendlyNameGivesNone) {
  const CertBytes value = Load("user_sign");
  AddToMy(value, L"c1", AT_SIGNATURE);
  UserStores stores;
  EXPECT_EQ(ReadFriendlyNameOfTwin(stores.Get(kPersonalStore), value), std::nullopt);
  EXPECT_EQ(ReadFriendlyNameOfTwin(stores.Get(kPersonalStore), Load("user_4096")), std::nullopt);
}

TEST_F(PersonalStore, RemovalTakesOnlyTheEntriesOfTheKey) {
  const CertBytes ours = Load("user_sign");
  const CertBytes otherSpec = Load("user_exchange");
  const CertBytes partOfPath = Load("user_no_usage");
  AddToMy(ours, L"c1", AT_SIGNATURE);
  AddToMy(otherSpec, L"c1", AT_KEYEXCHANGE);
  AddToMy(partOfPath, L"Reader", AT_SIGNATURE);

  ASSERT_TRUE(Unregister({kProvider, L"\\\\.\\Reader 0\\c1", L"c1", AT_SIGNATURE}));
  EXPECT_FALSE(StoreHolds(kPersonalStore, ours));
  EXPECT_TRUE(StoreHolds(kPersonalStore, otherSpec));
  EXPECT_TRUE(StoreHolds(kPersonalStore, partOfPath));
}

TEST_F(PersonalStore, PurgeIgnoresCaseAndLeavesOtherProviders) {
  const CertBytes ours = Load("user_sign");
  const CertBytes foreign = Load("user_exchange");
  AddToMy(ours, L"c1", AT_SIGNATURE);
  AddToMy(foreign, L"c1", AT_KEYEXCHANGE, kOtherProvider);

  // Rule A compares case-sensitively: another case of our provider is not ours there.
  ASSERT_TRUE(Unregister({L"TESSARD TEST PROVIDER", L"\\\\.\\R\\c1", L"c1", AT_SIGNATURE}));
  EXPECT_TRUE(StoreHolds(kPersonalStore, ours));

  ASSERT_TRUE(Purge(L"TESSARD TEST provider"));
  EXPECT_FALSE(StoreHolds(kPersonalStore, ours));
  EXPECT_TRUE(StoreHolds(kPersonalStore, foreign));
}

TEST(AuthorityStores, OtherStoresGetNoKeyProviderInfo) {
  const CertBytes value = Load("ca");
  ASSERT_TRUE(Add(value, {L"CA", L"c1", kProvider, AT_SIGNATURE, {}}));
  ASSERT_TRUE(StoreHolds(L"CA", value));
  EXPECT_FALSE(KeyProviderOf(L"CA", value));
  EXPECT_TRUE(StoreHolds(L"CA", value, true));
  EXPECT_FALSE(StoreHolds(L"CA", value));
}

TEST(Expiry, ComparesNotAfterWithNowPlusDaysInUtc) {
  const FILETIME now = CurrentUtcTime();
  const CertBytes expired = Load("expired");
  const CertBytes inTen = Load("expires_in_10");
  EXPECT_TRUE(AnyCertificateExpiresBy({expired}, 0, now));
  EXPECT_FALSE(AnyCertificateExpiresBy({expired}, -1, now)) << "negative days look at nothing";
  EXPECT_FALSE(AnyCertificateExpiresBy({inTen}, 0, now));
  EXPECT_FALSE(AnyCertificateExpiresBy({inTen}, 9, now));
  EXPECT_TRUE(AnyCertificateExpiresBy({inTen}, 11, now));
  EXPECT_TRUE(AnyCertificateExpiresBy({Load("user_sign"), Load("root"), inTen}, 11, now)) << "any certificate counts";
  EXPECT_FALSE(AnyCertificateExpiresBy({}, 30, now));
}

TEST(Expiry, UndecodableValuesArePassedOver) {
  const FILETIME now = CurrentUtcTime();
  EXPECT_FALSE(AnyCertificateExpiresBy({Load("truncated"), CertBytes{}}, 100000, now));
  EXPECT_TRUE(AnyCertificateExpiresBy({Load("truncated"), Load("expires_in_1")}, 2, now));
}

}  // namespace
}  // namespace tessard
