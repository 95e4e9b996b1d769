// Certificate registration against the real current-user stores of the test prefix, with
// certificates made by scripts/make-test-certs; results are read back through crypt32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "certstore/cert_store.h"
#include "tests/win/store_probe.h"

namespace tessard {
namespace {

CertBytes Load(const char* name) { return testing::LoadTestCertificate(name); }

// The modulus as crypt32 itself decodes it (little-endian in the key blob), big-endian.
CertBytes ModulusFromCrypt32(const CertBytes& value) {
  const UniqueCertContext certificate = DecodeCertificate(value);
  const CRYPT_BIT_BLOB& bits = certificate.get()->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  DWORD size = 0;
  EXPECT_TRUE(
      ::CryptDecodeObject(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, bits.pbData, bits.cbData, 0, nullptr, &size));
  CertBytes blob(size);
  EXPECT_TRUE(
      ::CryptDecodeObject(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, bits.pbData, bits.cbData, 0, blob.data(), &size));
  const auto* header = reinterpret_cast<const RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER));
  const unsigned char* little = blob.data() + sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
  CertBytes modulus(little, little + header->bitlen / 8);
  std::reverse(modulus.begin(), modulus.end());
  return modulus;
}

CertStatus Extract(const CertBytes& value, CertBytes& modulus) {
  unsigned long length = 0;
  const CertStatus first = ExtractRsaModulus(value.data(), static_cast<unsigned long>(value.size()), nullptr, &length);
  if (first != kStatusOk) return first;
  modulus.assign(length, 0);
  return ExtractRsaModulus(value.data(), static_cast<unsigned long>(value.size()), modulus.data(), &length);
}

TEST(AuthorityStore, ChosenBySelfSignatureThenConstraintsThenUsage) {
  EXPECT_EQ(ChooseAuthorityStore(Load("root")), L"ROOT");
  EXPECT_EQ(ChooseAuthorityStore(Load("root_not_ca")), L"ROOT") << "self-signed beats fCA false";
  EXPECT_EQ(ChooseAuthorityStore(Load("ca")), L"CA");
  EXPECT_EQ(ChooseAuthorityStore(Load("not_ca_signing")), L"ADDRESSBOOK") << "fCA false beats cert-signing usage";
  EXPECT_EQ(ChooseAuthorityStore(Load("ca_by_usage")), L"CA");
  EXPECT_EQ(ChooseAuthorityStore(Load("user_sign")), L"ADDRESSBOOK");
  EXPECT_EQ(ChooseAuthorityStore(Load("user_no_usage")), L"ADDRESSBOOK");
  EXPECT_EQ(ChooseAuthorityStore(Load("truncated")), std::nullopt);
  EXPECT_EQ(ChooseAuthorityStore({}), std::nullopt);
}

TEST(KeySpec, FollowsKeyUsageWithEnciphermentFirst) {
  EXPECT_EQ(KeySpecFromKeyUsage(DecodeCertificate(Load("user_sign")).get()), static_cast<DWORD>(AT_SIGNATURE));
  EXPECT_EQ(KeySpecFromKeyUsage(DecodeCertificate(Load("user_exchange")).get()), static_cast<DWORD>(AT_KEYEXCHANGE));
  EXPECT_EQ(KeySpecFromKeyUsage(DecodeCertificate(Load("user_no_usage")).get()), static_cast<DWORD>(AT_KEYEXCHANGE));
}

TEST(RsaModulusOfCertificate, EqualsWhatCrypt32DecodesForEveryKeySize) {
  for (const char* name : {"user_1024", "user_sign", "user_4096", "key_well_formed"}) {
    const CertBytes value = Load(name);
    CertBytes modulus;
    ASSERT_EQ(Extract(value, modulus), kStatusOk) << name;
    EXPECT_EQ(modulus, ModulusFromCrypt32(value)) << name;
    EXPECT_NE(modulus.front(), 0) << name;
  }
}

TEST(RsaModulusOfCertificate, ReportsBadArgumentsAndShortBuffers) {
  const CertBytes value = Load("user_sign");
  unsigned long length = 0;
  EXPECT_EQ(ExtractRsaModulus(nullptr, 10, nullptr, &length), kStatusArgumentsBad);
  EXPECT_EQ(ExtractRsaModulus(value.data(), 0, nullptr, &length), kStatusArgumentsBad);
  unsigned char small[16] = {};
  length = sizeof small;
  EXPECT_EQ(ExtractRsaModulus(value.data(), static_cast<unsigned long>(value.size()), small, &length),
            kStatusBufferTooSmall);
  EXPECT_EQ(length, 256u);
}

TEST(RsaModulusOfCertificate, MalformedOrNonRsaCertificatesGiveAnError) {
  for (const char* name : {"truncated", "user_ec", "key_length_past_end", "key_three_byte_length", "key_not_integer"}) {
    CertBytes modulus;
    EXPECT_EQ(Extract(Load(name), modulus), kStatusGeneralError) << name;
  }
}

constexpr wchar_t kProvider[] = L"Tessard Test Provider";
constexpr wchar_t kOtherProvider[] = L"Another Provider";

using testing::KeyProviderOf;
using testing::StoreHolds;

class PersonalStore : public ::testing::Test {
 protected:
  void TearDown() override {
    PurgeProvider(kProvider);
    PurgeProvider(kOtherProvider);
  }

  static void AddToMy(const CertBytes& value, const wchar_t* container, DWORD keySpec,
                      const wchar_t* provider = kProvider) {
    const StoreAddition addition{kPersonalStore, container, provider, keySpec, std::nullopt};
    ASSERT_TRUE(AddCertificateToStore(DecodeCertificate(value).get(), addition));
  }
};

TEST_F(PersonalStore, EntryCarriesKeyProviderInfoAndFriendlyName) {
  const CertBytes value = Load("user_exchange");
  const CertBytes friendly{'A', 0, 'l', 0, 'i', 0, 0, 0};
  StoreAddition addition{kPersonalStore, L"container-7", kProvider, AT_KEYEXCHANGE, friendly};
  ASSERT_TRUE(AddCertificateToStore(DecodeCertificate(value).get(), addition));

  const auto info = KeyProviderOf(kPersonalStore, value);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->containerName, L"container-7");
  EXPECT_EQ(info->providerName, kProvider);
  EXPECT_EQ(info->providerType, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(info->flags, 0u);
  EXPECT_EQ(info->keySpec, static_cast<DWORD>(AT_KEYEXCHANGE));

  const UniqueCertStore store = OpenUserStore(kPersonalStore);
  EXPECT_EQ(ReadFriendlyNameOfTwin(store.get(), value), friendly);
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
  const UniqueCertStore store = OpenUserStore(kPersonalStore);
  EXPECT_EQ(ReadFriendlyNameOfTwin(store.get(), value), std::nullopt);
  EXPECT_EQ(ReadFriendlyNameOfTwin(store.get(), Load("user_4096")), std::nullopt);
}

TEST_F(PersonalStore, RemovalTakesOnlyTheEntriesOfTheKey) {
  const CertBytes ours = Load("user_sign");
  const CertBytes otherSpec = Load("user_exchange");
  const CertBytes partOfPath = Load("user_no_usage");
  AddToMy(ours, L"c1", AT_SIGNATURE);
  AddToMy(otherSpec, L"c1", AT_KEYEXCHANGE);
  AddToMy(partOfPath, L"Reader", AT_SIGNATURE);

  ASSERT_TRUE(DeleteMatchingEntries({kProvider, L"\\\\.\\Reader 0\\c1", L"c1", AT_SIGNATURE}));
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
  ASSERT_TRUE(DeleteMatchingEntries({L"TESSARD TEST PROVIDER", L"\\\\.\\R\\c1", L"c1", AT_SIGNATURE}));
  EXPECT_TRUE(StoreHolds(kPersonalStore, ours));

  ASSERT_TRUE(PurgeProvider(L"TESSARD TEST provider"));
  EXPECT_FALSE(StoreHolds(kPersonalStore, ours));
  EXPECT_TRUE(StoreHolds(kPersonalStore, foreign));
}

TEST(AuthorityStores, OtherStoresGetNoKeyProviderInfo) {
  const CertBytes value = Load("ca");
  ASSERT_TRUE(AddCertificateToStore(DecodeCertificate(value).get(), {L"CA", L"c1", kProvider, AT_SIGNATURE, {}}));
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
