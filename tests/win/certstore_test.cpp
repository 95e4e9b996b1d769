// Certificate registration against the real current-user stores of the test prefix, with
// certificates made by scripts/make-test-certs; results are read back through crypt32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "certstore/expiry.h"
#include "certstore/registration.h"
#include "certstore/removal.h"
#include "tests/win/store_probe.h"
#include "tools/tokensim/sim_world.h"

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

bool Unregister(const CertBytes& value, const Registration& registration) {
  UserStores stores;
  const RegisteredCertificate certificate{value, registration};
  return UnregisterCertificates(stores, {&certificate, 1});
}

bool Purge(std::optional<std::wstring_view> earlierVersionsProvider) {
  UserStores stores;
  return PurgeOwnEntries(stores, earlierVersionsProvider);
}

const Registration kRegistration{{L"SN01", L"\\\\.\\Reader 0\\c1", kProvider}, {kProvider, L"c1", AT_SIGNATURE}};

StoreAddition AdditionOf(const Registration& registration) {
  return {kPersonalStore,
          registration.keyProvider.containerName,
          registration.keyProvider.providerName,
          registration.keyProvider.keySpec,
          std::nullopt,
          OwnershipMark(registration.owner)};
}

class PersonalStore : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"user_sign", "user_exchange", "user_no_usage"}) {
      const CertBytes value = Load(name);
      testing::RemoveFromAllStores({&value});
    }
  }

  static void AddToMy(const CertBytes& value, const StoreAddition& addition) { ASSERT_TRUE(Add(value, addition)); }
};

TEST_F(PersonalStore, EntryCarriesKeyProviderInfoFriendlyNameAndTheMark) {
  const CertBytes value = Load("user_exchange");
  const CertBytes friendly{'A', 0, 'l', 0, 'i', 0, 0, 0};
  StoreAddition addition = AdditionOf(kRegistration);
  addition.friendlyName = friendly;
  AddToMy(value, addition);

  const auto info = KeyProviderOf(kPersonalStore, value);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->containerName, L"c1");
  EXPECT_EQ(info->providerName, kProvider);
  EXPECT_EQ(info->providerType, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(info->flags, 0u);
  EXPECT_EQ(info->keySpec, static_cast<DWORD>(AT_SIGNATURE));
  EXPECT_EQ(testing::DescriptionOf(kPersonalStore, value), OwnershipMark(kRegistration.owner));

  UserStores stores;
  EXPECT_EQ(ReadFriendlyNameOfTwin(stores.Get(kPersonalStore), value), friendly);
}

// Another program's entry of the same certificate becomes Tessard's, with its friendly name.
TEST_F(PersonalStore, AddingAgainReplacesTheEntryAndKeepsItsFriendlyName) {
  const CertBytes value = Load("user_exchange");
  const CertBytes friendly{'H', 0, 'o', 0, 'a', 0, 0, 0};
  AddToMy(value, {kPersonalStore, L"first", kOtherProvider, AT_KEYEXCHANGE, friendly, L""});
  AddToMy(value, AdditionOf(kRegistration));
  const auto info = KeyProviderOf(kPersonalStore, value);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->containerName, L"c1");
  EXPECT_EQ(info->providerName, kProvider);
  EXPECT_EQ(info->keySpec, static_cast<DWORD>(AT_SIGNATURE));
  UserStores stores;
  EXPECT_EQ(ReadFriendlyNameOfTwin(stores.Get(kPersonalStore), value), friendly);
}

TEST_F(PersonalStore, TwinWithoutFriendlyNameGivesNone) {
  const CertBytes value = Load("user_sign");
  AddToMy(value, AdditionOf(kRegistration));
  UserStores stores;
  EXPECT_EQ(ReadFriendlyNameOfTwin(stores.Get(kPersonalStore), value), std::nullopt);
  EXPECT_EQ(ReadFriendlyNameOfTwin(stores.Get(kPersonalStore), Load("user_4096")), std::nullopt);
}

TEST_F(PersonalStore, RemovalTakesTheCertificatesEntryAsItWasWrittenAndNothingElse) {
  const CertBytes ours = Load("user_sign");
  const CertBytes sameKey = Load("user_exchange");
  AddToMy(ours, AdditionOf(kRegistration));
  AddToMy(sameKey, AdditionOf(kRegistration));

  ASSERT_TRUE(Unregister(ours, kRegistration));
  EXPECT_FALSE(StoreHolds(kPersonalStore, ours));
  EXPECT_TRUE(StoreHolds(kPersonalStore, sameKey)) << "another certificate of the key";
}

TEST_F(PersonalStore, PurgesTakeWhatTessardMarkedAndAtStartUpWhatEarlierVersionsLeft) {
  const CertBytes marked = Load("user_sign");
  const CertBytes earlier = Load("user_exchange");
  const CertBytes foreign = Load("user_no_usage");
  AddToMy(marked, AdditionOf(kRegistration));
  AddToMy(earlier, {kPersonalStore, L"c2", L"TESSARD TEST provider", AT_SIGNATURE, std::nullopt, L""});
  AddToMy(foreign, {kPersonalStore, L"c3", kOtherProvider, AT_SIGNATURE, std::nullopt, L""});

  ASSERT_TRUE(Purge(std::nullopt));
  EXPECT_FALSE(StoreHolds(kPersonalStore, marked));
  EXPECT_TRUE(StoreHolds(kPersonalStore, earlier)) << "at exit only what this version marked goes";
  ASSERT_TRUE(Purge(kProvider));
  EXPECT_FALSE(StoreHolds(kPersonalStore, earlier));
  EXPECT_TRUE(StoreHolds(kPersonalStore, foreign));
}

TEST(AuthorityStores, OtherStoresGetNoKeyProviderInfo) {
  const CertBytes value = Load("ca");
  ASSERT_TRUE(Add(value, {L"CA", L"c1", kProvider, AT_SIGNATURE, {}, L""}));
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
