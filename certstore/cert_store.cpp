#include "certstore/cert_store.h"

#include <cstring>

#include "certstore/expiry_rules.h"
#include "certstore/rsa_modulus.h"

namespace tessard {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr BYTE kCertSigningUsage = CERT_KEY_CERT_SIGN_KEY_USAGE | CERT_CRL_SIGN_KEY_USAGE;
constexpr BYTE kEnciphermentUsage = CERT_KEY_ENCIPHERMENT_KEY_USAGE | CERT_DATA_ENCIPHERMENT_KEY_USAGE;
constexpr BYTE kSigningUsage = CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE;

// A structure decoded with the size query first, into a zero-filled buffer that owns it.
std::optional<CertBytes> DecodeObject(LPCSTR structType, const CRYPT_OBJID_BLOB& encoded) {
  DWORD size = 0;
  if (!::CryptDecodeObject(X509_ASN_ENCODING, structType, encoded.pbData, encoded.cbData, 0, nullptr, &size) ||
      size == 0) {
    return std::nullopt;
  }
  CertBytes buffer(size, 0);
  if (!::CryptDecodeObject(X509_ASN_ENCODING, structType, encoded.pbData, encoded.cbData, 0, buffer.data(), &size)) {
    return std::nullopt;
  }
  return buffer;
}

std::optional<BYTE> KeyUsageByte(PCCERT_CONTEXT certificate) {
  BYTE usage = 0;
  if (!::CertGetIntendedKeyUsage(X509_ASN_ENCODING, certificate->pCertInfo, &usage, 1)) return std::nullopt;
  return usage;
}

bool IsSelfSigned(PCCERT_CONTEXT certificate) {
  return ::CryptVerifyCertificateSignature(0, kEncoding, certificate->pbCertEncoded, certificate->cbCertEncoded,
                                           &certificate->pCertInfo->SubjectPublicKeyInfo) != FALSE;
}

// nullopt when the certificate has no decodable basic-constraints extension.
std::optional<bool> IsAuthorityByConstraints(PCCERT_CONTEXT certificate) {
  const CERT_INFO* info = certificate->pCertInfo;
  const CERT_EXTENSION* extension = ::CertFindExtension(szOID_BASIC_CONSTRAINTS2, info->cExtension, info->rgExtension);
  if (!extension) return std::nullopt;
  const auto decoded = DecodeObject(X509_BASIC_CONSTRAINTS2, extension->Value);
  if (!decoded) return std::nullopt;
  CERT_BASIC_CONSTRAINTS2_INFO constraints{};
  std::memcpy(&constraints, decoded->data(), sizeof constraints);
  return constraints.fCA != FALSE;
}

std::optional<KeyProviderEntry> ReadKeyProviderEntry(PCCERT_CONTEXT certificate) {
  const auto buffer = ReadCertificateProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID);
  if (!buffer || buffer->size() < sizeof(CRYPT_KEY_PROV_INFO)) return std::nullopt;
  // The property's strings point into the buffer itself; it stays alive while they are copied.
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer->data());
  KeyProviderEntry entry;
  if (info->pwszProvName) entry.providerName = info->pwszProvName;
  if (info->pwszContainerName) entry.containerName = info->pwszContainerName;
  entry.keySpec = info->dwKeySpec;
  return entry;
}

// Deletes every "MY" entry with key-provider information that the predicate accepts.
template <typename Predicate>
bool DeletePersonalEntries(Predicate belongs) {
  const UniqueCertStore store = OpenUserStore(kPersonalStore);
  if (!store) return false;
  DeferredDeletion deletion;
  for (PCCERT_CONTEXT certificate : StoreCertificates(store.get())) {
    const auto entry = ReadKeyProviderEntry(certificate);
    if (entry && belongs(*entry)) deletion.Pick(certificate);
  }
  deletion.DeleteAll();
  return true;
}

bool SetKeyProviderInfo(PCCERT_CONTEXT certificate, const StoreAddition& addition) {
  std::wstring container = addition.containerName;
  std::wstring provider = addition.providerName;
  CRYPT_KEY_PROV_INFO info{};
  info.pwszContainerName = container.data();
  info.pwszProvName = provider.data();
  info.dwProvType = PROV_RSA_FULL;
  info.dwFlags = 0;
  info.dwKeySpec = addition.keySpec;
  return ::CertSetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) != FALSE;
}

bool SetFriendlyName(PCCERT_CONTEXT certificate, const CertBytes& name) {
  CertBytes bytes = name;
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(bytes.size()), bytes.data()};
  return ::CertSetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, 0, &blob) != FALSE;
}

// A replacing add keeps the earlier entry's properties under Wine, key-provider information
// included, where Windows takes the new ones; deleting the earlier entry first gives
// Windows' result on both.
void DeleteEarlierEntry(HCERTSTORE store, PCCERT_CONTEXT certificate) {
  UniqueCertContext earlier(
      ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate, nullptr));
  // CertDeleteCertificateFromStore frees the context it is given.
  if (earlier) ::CertDeleteCertificateFromStore(earlier.release());
}

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::optional<CertBytes> ReadCertificateProperty(PCCERT_CONTEXT certificate, DWORD property) {
  DWORD size = 0;
  if (!::CertGetCertificateContextProperty(certificate, property, nullptr, &size) || size == 0) return std::nullopt;
  CertBytes buffer(size, 0);
  if (!::CertGetCertificateContextProperty(certificate, property, buffer.data(), &size)) return std::nullopt;
  buffer.resize(size);
  return buffer;
}

UniqueCertStore OpenUserStore(const wchar_t* name) {
  return UniqueCertStore(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name));
}

UniqueCertContext DecodeCertificate(std::span<const unsigned char> value) {
  if (value.empty()) return UniqueCertContext();
  return UniqueCertContext(::CertCreateCertificateContext(kEncoding, value.data(), static_cast<DWORD>(value.size())));
}

CertStatus ExtractRsaModulus(const unsigned char* value, unsigned long valueLength, unsigned char* output,
                             unsigned long* length) {
  if (!value || valueLength == 0 || !length) return kStatusArgumentsBad;
  const UniqueCertContext certificate = DecodeCertificate({value, valueLength});
  if (!certificate) return kStatusGeneralError;
  const CRYPT_BIT_BLOB& keyBits = certificate.get()->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  const auto modulus = ReadRsaModulus({keyBits.pbData, keyBits.cbData});
  if (!modulus) return kStatusGeneralError;
  const unsigned long needed = static_cast<unsigned long>(modulus->size());
  if (!output) {
    *length = needed;
    return kStatusOk;
  }
  if (*length < needed) {
    *length = needed;
    return kStatusBufferTooSmall;
  }
  std::memcpy(output, modulus->data(), needed);
  *length = needed;
  return kStatusOk;
}

std::optional<std::wstring> ChooseAuthorityStore(std::span<const unsigned char> value) {
  const UniqueCertContext certificate = DecodeCertificate(value);
  if (!certificate) return std::nullopt;
  if (IsSelfSigned(certificate.get())) return L"ROOT";
  if (const auto authority = IsAuthorityByConstraints(certificate.get())) {
    return *authority ? L"CA" : L"ADDRESSBOOK";
  }
  const auto usage = KeyUsageByte(certificate.get());
  return usage && (*usage & kCertSigningUsage) ? L"CA" : L"ADDRESSBOOK";
}

DWORD KeySpecFromKeyUsage(PCCERT_CONTEXT certificate) {
  const auto usage = KeyUsageByte(certificate);
  if (usage && (*usage & kEnciphermentUsage)) return AT_KEYEXCHANGE;
  if (usage && (*usage & kSigningUsage)) return AT_SIGNATURE;
  return AT_KEYEXCHANGE;
}

bool AddCertificateToStore(PCCERT_CONTEXT certificate, const StoreAddition& addition) {
  const UniqueCertStore store = OpenUserStore(addition.storeName.c_str());
  if (!store) return false;
  if (addition.friendlyName) SetFriendlyName(certificate, *addition.friendlyName);
  const bool personal = addition.storeName == kPersonalStore;
  if (personal && !SetKeyProviderInfo(certificate, addition)) return false;
  if (personal) DeleteEarlierEntry(store.get(), certificate);
  const DWORD disposition = personal ? CERT_STORE_ADD_REPLACE_EXISTING : CERT_STORE_ADD_USE_EXISTING;
  return ::CertAddCertificateContextToStore(store.get(), certificate, disposition, nullptr) != FALSE;
}

std::optional<CertBytes> ReadFriendlyNameOfTwin(HCERTSTORE store, std::span<const unsigned char> value) {
  for (PCCERT_CONTEXT certificate : StoreCertificates(store)) {
    const bool twin = certificate->cbCertEncoded == value.size() &&
                      std::memcmp(certificate->pbCertEncoded, value.data(), value.size()) == 0;
    if (twin) return ReadCertificateProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID);
  }
  return std::nullopt;
}

bool DeleteMatchingEntries(const RegisteredKey& key) {
  return DeletePersonalEntries([&key](const KeyProviderEntry& entry) { return BelongsToKey(entry, key); });
}

bool PurgeProvider(const std::wstring& providerName) {
  return DeletePersonalEntries([&providerName](const KeyProviderEntry& entry) {
    return !entry.providerName.empty() && ::lstrcmpiW(entry.providerName.c_str(), providerName.c_str()) == 0;
  });
}

bool AnyCertificateExpiresBy(const std::vector<CertBytes>& values, int days, FILETIME nowUtc) {
  const auto limit = ExpiryLimit(Ticks(nowUtc), days);
  if (!limit) return false;
  for (const CertBytes& value : values) {
    const UniqueCertContext certificate = DecodeCertificate(value);
    if (certificate && ExpiresBy(Ticks(certificate.get()->pCertInfo->NotAfter), *limit)) return true;
  }
  return false;
}

FILETIME CurrentUtcTime() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return now;
}

}  // namespace tessard
