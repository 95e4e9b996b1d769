#include "update/installer_trust.h"

// After <windows.h>, which they need.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "certstore/crypt_handles.h"
#include "platform/trace.h"
#include "platform/two_call.h"

namespace tessard {

namespace {

inline BOOL ReleaseCryptProvider(HCRYPTPROV provider) { return ::CryptReleaseContext(provider, 0); }
using UniqueCryptProvider = UniqueResource<HCRYPTPROV, &ReleaseCryptProvider>;

// One WinVerifyTrust run with its state kept, so that the signer it found can be read; the
// state is released again when this ends.
class TrustCheck {
 public:
  TrustCheck(HANDLE file, const std::wstring& path) {
    fileInfo_.cbStruct = sizeof fileInfo_;
    fileInfo_.pcwszFilePath = path.c_str();
    fileInfo_.hFile = file;
    data_.cbStruct = sizeof data_;
    data_.dwUIChoice = WTD_UI_NONE;
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &fileInfo_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    result_ = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  }
  ~TrustCheck() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  }
  TrustCheck(const TrustCheck&) = delete;
  TrustCheck& operator=(const TrustCheck&) = delete;

  bool Accepted() const { return result_ == ERROR_SUCCESS; }
  LONG Result() const { return result_; }

  // The certificate that signed the file; null when there is none.
  PCCERT_CONTEXT Signer() const {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data_.hWVTStateData);
    if (provider == nullptr) return nullptr;
    CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return nullptr;
    return signer->pasCertChain[0].pCert;
  }

 private:
  GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO fileInfo_{};
  WINTRUST_DATA data_{};
  LONG result_;
};

constexpr DWORD kSha256Bytes = 32;

std::string Hex(const BYTE* bytes, DWORD size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (DWORD i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// SHA-256 of the certificate's SubjectPublicKeyInfo as DER: what stays when a certificate of
// the same key is issued anew, and what no other key has.
std::string KeyHashOf(PCCERT_CONTEXT certificate) {
  const std::optional<std::vector<std::uint8_t>> info = ReadTwoCall([&](BYTE* buffer, DWORD* size) {
    return ::CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &certificate->pCertInfo->SubjectPublicKeyInfo,
                               buffer, size) != FALSE;
  });
  UniqueCryptProvider provider;
  if (!info || !::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    provider.release();
    return {};
  }
  BYTE hash[kSha256Bytes] = {};
  DWORD size = sizeof hash;
  if (!::CryptHashCertificate(provider.get(), CALG_SHA_256, 0, info->data(), static_cast<DWORD>(info->size()), hash,
                              &size)) {
    return {};
  }
  return Hex(hash, size);
}

using UniqueChain = UniqueResource<PCCERT_CHAIN_CONTEXT, &::CertFreeCertificateChain>;

// The chain is built with the machine's view of trust; its end must stand in the machine's own
// ROOT store, where neither a user nor a token (which Tessard registers in the user's ROOT) can
// put one.
bool RootInMachineStore(PCCERT_CONTEXT signer) {
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  UniqueChain chain;
  if (!::CertGetCertificateChain(HCCE_LOCAL_MACHINE, signer, nullptr, signer->hCertStore, &parameters, 0, nullptr,
                                 chain.put())) {
    chain.release();
    return false;
  }
  if (chain.get()->cChain == 0 || chain.get()->rgpChain[0]->cElement == 0) return false;
  const CERT_SIMPLE_CHAIN* simple = chain.get()->rgpChain[0];
  const PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
  const UniqueCertStore machineRoots(::CertOpenStore(
      CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"ROOT"));
  if (!machineRoots) return false;
  BYTE thumbprint[20] = {};
  DWORD size = sizeof thumbprint;
  if (!::CertGetCertificateContextProperty(root, CERT_SHA1_HASH_PROP_ID, thumbprint, &size)) return false;
  CRYPT_HASH_BLOB wanted{size, thumbprint};
  const UniqueCertContext found(
      ::CertFindCertificateInStore(machineRoots.get(), X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &wanted, nullptr));
  return static_cast<bool>(found);
}

// The product version of the file's version resource, as "a.b.c.d".
std::optional<std::string> ProductVersionOf(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr ||
      fixedSize < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  char text[48] = {};
  std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", fixed->dwProductVersionMS >> 16,
                fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
                fixed->dwProductVersionLS & 0xFFFF);
  return text;
}

}  // namespace

UniqueFileHandle HoldFile(const std::wstring& path) {
  return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

InstallerFacts ExamineInstaller(HANDLE heldFile, const std::wstring& path) {
  InstallerFacts facts;
  const TrustCheck check(heldFile, path);
  facts.signatureAccepted = check.Accepted();
  if (!facts.signatureAccepted) {
    Trace(L"WinVerifyTrust refused the installer " + path + L": " +
          HexCode(static_cast<unsigned long>(check.Result())));
    return facts;
  }
  if (const PCCERT_CONTEXT signer = check.Signer()) {
    facts.signerKeyHash = KeyHashOf(signer);
    facts.rootInMachineStore = RootInMachineStore(signer);
  }
  facts.version = ProductVersionOf(path);
  return facts;
}

}  // namespace tessard
