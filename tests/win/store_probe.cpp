#include "tests/win/store_probe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace tessard::testing {
namespace {

UniqueCertContext FindStored(HCERTSTORE store, const CertBytes& value) {
  const UniqueCertContext wanted = DecodeCertificate(value);
  if (!store || !wanted) return UniqueCertContext();
  return UniqueCertContext(
      ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.get(), nullptr));
}

std::optional<CertBytes> PropertyOf(const wchar_t* storeName, const CertBytes& value, DWORD property) {
  const UniqueCertStore store = OpenUserStore(storeName);
  const UniqueCertContext stored = FindStored(store.get(), value);
  if (!stored) return std::nullopt;
  return ReadCertificateProperty(stored.get(), property);
}

}  // namespace

std::string MadeCertificatePath(const std::string& name) {
  return std::string(TESSARD_TEST_CERTS) + "/" + name + ".der";
}

CertBytes LoadTestCertificate(const std::string& name) {
  std::ifstream file(MadeCertificatePath(name), std::ios::binary);
  CertBytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

bool StoreHolds(const wchar_t* storeName, const CertBytes& value, bool remove) {
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

std::optional<StoredKeyProvider> KeyProviderOf(const wchar_t* storeName, const CertBytes& value) {
  const auto buffer = PropertyOf(storeName, value, CERT_KEY_PROV_INFO_PROP_ID);
  if (!buffer || buffer->size() < sizeof(CRYPT_KEY_PROV_INFO)) return std::nullopt;
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer->data());
  return StoredKeyProvider{info->pwszContainerName ? info->pwszContainerName : L"",
                           info->pwszProvName ? info->pwszProvName : L"", info->dwProvType, info->dwFlags,
                           info->dwKeySpec};
}

std::optional<CertBytes> FriendlyNameOf(const wchar_t* storeName, const CertBytes& value) {
  return PropertyOf(storeName, value, CERT_FRIENDLY_NAME_PROP_ID);
}

std::optional<std::wstring> DescriptionOf(const wchar_t* storeName, const CertBytes& value) {
  const auto bytes = PropertyOf(storeName, value, CERT_DESCRIPTION_PROP_ID);
  if (!bytes) return std::nullopt;
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

void RemoveFromAllStores(std::initializer_list<const CertBytes*> values) {
  for (const wchar_t* store : {L"MY", L"CA", L"ROOT", L"ADDRESSBOOK"}) {
    for (const CertBytes* value : values) StoreHolds(store, *value, true);
  }
}

}  // namespace tessard::testing
