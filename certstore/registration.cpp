#include "certstore/registration.h"

#include <algorithm>
#include <cstring>

#include "certstore/rsa_modulus.h"
#include "platform/text_convert.h"
#include "platform/trace.h"
#include "platform/two_call.h"

namespace tessard {
namespace {

constexpr BYTE kCertSigningUsage = CERT_KEY_CERT_SIGN_KEY_USAGE | CERT_CRL_SIGN_KEY_USAGE;
constexpr BYTE kEnciphermentUsage = CERT_KEY_ENCIPHERMENT_KEY_USAGE | CERT_DATA_ENCIPHERMENT_KEY_USAGE;
constexpr BYTE kSigningUsage = CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE;

std::optional<CertBytes> DecodeObject(LPCSTR structType, const CRYPT_OBJID_BLOB& encoded) {
  return ReadTwoCall([&](BYTE* buffer, DWORD* size) {
    return ::CryptDecodeObject(X509_ASN_ENCODING, structType, encoded.pbData, encoded.cbData, 0, buffer, size) != FALSE;
  });
}

std::optional<BYTE> KeyUsageByte(PCCERT_CONTEXT certificate) {
  BYTE usage = 0;
  if (!::CertGetIntendedKeyUsage(X509_ASN_ENCODING, certificate->pCertInfo, &usage, 1)) return std::nullopt;
  return usage;
}

bool IsSelfSigned(PCCERT_CONTEXT certificate) {
  return ::CryptVerifyCertificateSignature(0, kCertificateEncoding, certificate->pbCertEncoded,
                                           certificate->cbCertEncoded,
                                           &certificate->pCertInfo->SubjectPublicKeyInfo) != FALSE;
}

// None when the certificate has no decodable basic-constraints extension.
std::optional<bool> IsAuthorityByConstraints(PCCERT_CONTEXT certificate) {
  const CERT_INFO* info = certificate->pCertInfo;
  const CERT_EXTENSION* extension = ::CertFindExtension(szOID_BASIC_CONSTRAINTS2, info->cExtension, info->rgExtension);
  if (!extension) return std::nullopt;
  const auto decoded = DecodeObject(X509_BASIC_CONSTRAINTS2, extension->Value);
  if (!decoded || decoded->size() < sizeof(CERT_BASIC_CONSTRAINTS2_INFO)) return std::nullopt;
  CERT_BASIC_CONSTRAINTS2_INFO constraints{};
  std::memcpy(&constraints, decoded->data(), sizeof constraints);
  return constraints.fCA != FALSE;
}

bool SetKeyProviderInfo(PCCERT_CONTEXT certificate, const StoreAddition& addition) {
  std::wstring container = addition.containerName;
  std::wstring provider = addition.providerName;
  CRYPT_KEY_PROV_INFO info{};
  info.pwszContainerName = container.data();
  info.pwszProvName = provider.data();
  info.dwProvType = addition.providerType;
  info.dwFlags = 0;
  info.dwKeySpec = addition.keySpec;
  return ::CertSetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) != FALSE;
}

bool SetBytesProperty(PCCERT_CONTEXT certificate, DWORD property, const CertBytes& value) {
  CertBytes bytes = value;
  CRYPT_DATA_BLOB blob{static_cast<DWORD>(bytes.size()), bytes.data()};
  return ::CertSetCertificateContextProperty(certificate, property, 0, &blob) != FALSE;
}

bool SetDescription(PCCERT_CONTEXT certificate, const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  return SetBytesProperty(certificate, CERT_DESCRIPTION_PROP_ID,
                          CertBytes(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)));
}

// A replacing add keeps the earlier entry's properties under Wine, key-provider information
// included, where Windows takes the new ones; deleting the earlier entry first gives
// Windows' result on both. Its friendly name, which another program may have given it, is
// handed back.
std::optional<CertBytes> TakeEarlierEntry(HCERTSTORE store, PCCERT_CONTEXT certificate) {
  UniqueCertContext earlier(
      ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate, nullptr));
  if (!earlier) return std::nullopt;
  std::optional<CertBytes> name = ReadCertificateProperty(earlier.get(), CERT_FRIENDLY_NAME_PROP_ID);
  // CertDeleteCertificateFromStore frees the context it is given.
  ::CertDeleteCertificateFromStore(earlier.release());
  return name;
}

// The serial number as the mark names it: ANSI text without the padding of CK_TOKEN_INFO.
std::wstring SerialText(const std::optional<std::string>& serialNumber) {
  std::wstring text = ToWide(serialNumber.value_or(std::string()), kCodePageAnsi);
  while (!text.empty() && text.back() == L' ') text.pop_back();
  return text;
}

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// False, with the line that says why the certificate went to no store.
bool TraceUnplaced(const CertificateFacts& certificate, const wchar_t* why) {
  Trace(L"the certificate of container \"" + certificate.containerName + L"\" goes to no store: " + why);
  return false;
}

bool TraceRefusal(const StoreAddition& addition, const wchar_t* step) {
  Trace(L"\"" + addition.storeName + L"\" refused " + step + L" of a certificate: " + HexCode(::GetLastError()));
  return false;
}

}  // namespace

std::optional<CertBytes> ExtractRsaModulus(PCCERT_CONTEXT certificate) {
  const CRYPT_BIT_BLOB& keyBits = certificate->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  return ReadRsaModulus({keyBits.pbData, keyBits.cbData});
}

bool IsUserCertificate(PCCERT_CONTEXT certificate, const std::vector<PublicKeyFacts>& keys) {
  const std::optional<CertBytes> modulus = ExtractRsaModulus(certificate);
  // A key no signing program takes would only lure them into a failure.
  if (!modulus || RsaModulusBits(*modulus) < kShortestUsableRsaBits) return false;
  return std::any_of(keys.begin(), keys.end(), [&](const PublicKeyFacts& key) { return key.modulus == *modulus; });
}

std::optional<DWORD> FindKeySpec(const CertificateFacts& certificate, const std::vector<PublicKeyFacts>& keys) {
  const auto key = std::find_if(keys.begin(), keys.end(), [&](const PublicKeyFacts& k) {
    return k.rsa && k.id == certificate.id && k.containerName == certificate.containerName;
  });
  if (key == keys.end() || !key->encrypt) return std::nullopt;
  return *key->encrypt ? AT_KEYEXCHANGE : AT_SIGNATURE;
}

const wchar_t* ChooseAuthorityStore(PCCERT_CONTEXT certificate) {
  if (IsSelfSigned(certificate)) return L"ROOT";
  if (const auto authority = IsAuthorityByConstraints(certificate)) return *authority ? L"CA" : L"ADDRESSBOOK";
  const auto usage = KeyUsageByte(certificate);
  return usage && (*usage & kCertSigningUsage) ? L"CA" : L"ADDRESSBOOK";
}

DWORD KeySpecFromKeyUsage(PCCERT_CONTEXT certificate) {
  const auto usage = KeyUsageByte(certificate);
  if (usage && (*usage & kEnciphermentUsage)) return AT_KEYEXCHANGE;
  if (usage && (*usage & kSigningUsage)) return AT_SIGNATURE;
  return AT_KEYEXCHANGE;
}

bool AddCertificateToStore(UserStores& stores, PCCERT_CONTEXT certificate, const StoreAddition& addition) {
  const HCERTSTORE store = stores.Get(addition.storeName.c_str());
  if (!store) return false;
  if (addition.friendlyName) SetBytesProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, *addition.friendlyName);
  const bool personal = addition.storeName == kPersonalStore;
  if (personal &&
      (!SetKeyProviderInfo(certificate, addition) || !SetDescription(certificate, addition.ownershipMark))) {
    return TraceRefusal(addition, L"the key-provider information or the mark");
  }
  if (personal) {
    std::optional<CertBytes> earlierName = TakeEarlierEntry(store, certificate);
    if (!addition.friendlyName && earlierName) SetBytesProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, *earlierName);
  }
  const DWORD disposition = personal ? CERT_STORE_ADD_REPLACE_EXISTING : CERT_STORE_ADD_USE_EXISTING;
  if (!::CertAddCertificateContextToStore(store, certificate, disposition, nullptr)) {
    return TraceRefusal(addition, L"the addition");
  }
  return true;
}

std::optional<Registration> RegistrationOf(const TokenFacts& token, const CertificateFacts& certificate) {
  std::optional<std::wstring> path = BuildContainerPath(token.readerName, certificate.containerName);
  if (!path) return std::nullopt;
  return Registration{{SerialText(token.serialNumber), std::move(*path), token.providerName},
                      {token.providerName, certificate.containerName, certificate.keySpec}};
}

bool RegisterCertificate(UserStores& stores, const TokenFacts& token, CertificateFacts& certificate) {
  // Whether the key pair is on the token decides between "MY" and the other stores; when the
  // token's keys could not be read nobody can tell, and no store is chosen on a guess.
  if (!token.publicKeys) return TraceUnplaced(certificate, L"the token's keys could not be read");
  const std::vector<PublicKeyFacts>& keys = *token.publicKeys;
  const UniqueCertContext context = DecodeCertificate(certificate.value);
  if (!context) return TraceUnplaced(certificate, L"its value is not one certificate that crypt32 decodes");
  StoreAddition addition;
  addition.storeName = IsUserCertificate(context.get(), keys) ? kPersonalStore : ChooseAuthorityStore(context.get());
  addition.containerName = certificate.containerName;
  addition.providerName = token.providerName;
  addition.providerType = token.keyStorageProvider ? 0 : PROV_RSA_FULL;
  addition.keySpec = FindKeySpec(certificate, keys).value_or(KeySpecFromKeyUsage(context.get()));
  addition.friendlyName = certificate.friendlyName;
  certificate.keySpec = addition.keySpec;
  if (addition.storeName == kPersonalStore) {
    const std::optional<Registration> registration = RegistrationOf(token, certificate);
    // Its entry could never be told from another program's.
    if (!registration) return TraceUnplaced(certificate, L"its container path is too long");
    addition.ownershipMark = OwnershipMark(registration->owner);
  }
  return AddCertificateToStore(stores, context.get(), addition);
}

std::optional<CertBytes> ReadFriendlyNameOfTwin(HCERTSTORE store, std::span<const std::uint8_t> value) {
  for (PCCERT_CONTEXT certificate : StoreCertificates(store)) {
    if (SameBytes({certificate->pbCertEncoded, certificate->cbCertEncoded}, value)) {
      return ReadCertificateProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID);
    }
  }
  return std::nullopt;
}

}  // namespace tessard
