// Certificate registration against the real current-user stores of the test prefix, with
// certificates made by scripts/make-test-certs; results are read back through crypt32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "certstore/cert_store.h"

namespace tessard {
namespace {

CertBytes Load(const char* name) {
  std::ifstream file(std::string(TESSARD_TEST_CERTS) + "/" + name + ".der", std::ios::binary);
  CertBytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

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

// Whether a store holds a certificate encoded as value; with remove, it is deleted too.
bool FindInStore(const wchar_t* storeName, const CertBytes& value, bool remove = false) {
  const UniqueCertStore store = OpenUserStore(storeName);
  DeferredDeletion deletion;
  bool found = false;
  for (PCCERT_CONTEXT certificate : StoreCertificates(store.get())) {
    if (certificate->cbCertEncoded == value.size() &&
        std::memcmp(certificate->pbCertEncoded, value.data(), value.size()) == 0) {
      found = true;
      if (remove) deletion.Pick(certificate);
    }
  }
  return found;
}

// The key-provider information of the certificate in the store encoded as value.
std::optional<CertBytes> KeyProviderProperty(const wchar_t* storeName, const CertBytes& value) {
  const UniqueCertStore store = OpenUserStore(storeName);
  const UniqueCertContext stored(::CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                              DecodeCertificate(value).get(), nullptr));
  if (!stored) return std::nullopt;
  DWORD size = 0;
  if (!::CertGetCertificateContextProperty(stored.get(), CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
    return std::nullopt;
  CertBytes buffer(size);
  if (!::CertGetCertificateContextProperty(stored.get(), CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) {
    return std::nullopt;
  }
  return buffer;
}

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

  const auto buffer = KeyProviderProperty(kPersonalStore, value);
  ASSERT_TRUE(buffer);
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer->data());
  EXPECT_STREQ(info->pwszContainerName, L"container-7");
  EXPECT_STREQ(info->pwszProvName, kProvider);
  EXPECT_EQ(info->dwProvType, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(info->dwFlags, 0u);
  EXPECT_EQ(info->dwKeySpec, static_cast<DWORD>(AT_KEYEXCHANGE));

  const UniqueCertStore store = OpenUserStore(kPersonalStore);
  EXPECT_EQ(ReadFriendlyNameOfTwin(store.get(), value), friendly);
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
  EXPECT_FALSE(FindInStore(kPersonalStore, ours));
  EXPECT_TRUE(FindInStore(kPersonalStore, otherSpec));
  EXPECT_TRUE(FindInStore(kPersonalStore, partOfPath));
}

TEST_F(PersonalStore, PurgeIgnoresCaseAndLeavesOtherProviders) {
  const CertBytes ours = Load("user_sign");
  const CertBytes foreign = Load("user_exchange");
  AddToMy(ours, L"c1", AT_SIGNATURE);
  AddToMy(foreign, L"c1", AT_KEYEXCHANGE, kOtherProvider);

  // Rule A compares case-sensitively: another case of our provider is not ours there.
  ASSERT_TRUE(DeleteMatchingEntries({L"TESSARD TEST PROVIDER", L"\\\\.\\R\\c1", L"c1", AT_SIGNATURE}));
  EXPECT_TRUE(FindInStore(kPersonalStore, ours));

  ASSERT_TRUE(PurgeProvider(L"TESSARD TEST provider"));
  EXPECT_FALSE(FindInStore(kPersonalStore, ours));
  EXPECT_TRUE(FindInStore(kPersonalStore, foreign));
}

TEST(AuthorityStores, OtherStoresGetNoKeyProviderInfo) {
  const CertBytes value = Load("ca");
  ASSERT_TRUE(AddCertificateToStore(DecodeCertificate(value).get(), {L"CA", L"c1", kProvider, AT_SIGNATURE, {}}));
  ASSERT_TRUE(FindInStore(L"CA", value));
  EXPECT_FALSE(KeyProviderProperty(L"CA", value));
  EXPECT_TRUE(FindInStore(L"CA", value, true));
  EXPECT_FALSE(FindInStore(L"CA", value));
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
