#include "update/installer_trust.h"

// After <windows.h>, which they need.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/trace.h"
#include "platform/two_call.h"

namespace tessard {

namespace {

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

// The simple name whole, as long as the certificate has it: cut at a zero inside it, a name
// such as "Tessard Test Publisher\0 and more" would pass for the publisher's.
std::wstring SimpleNameOf(PCCERT_CONTEXT certificate) {
  const std::optional<std::vector<std::uint8_t>> bytes = ReadTwoCall([&](BYTE* buffer, DWORD* size) {
    // Counted in characters, the terminator included.
    const DWORD characters = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                                                  reinterpret_cast<wchar_t*>(buffer), *size / sizeof(wchar_t));
    *size = characters * sizeof(wchar_t);
    return characters > 0;
  });
  if (!bytes) return std::wstring();
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t) - 1);
}

}  // namespace

UniqueFileHandle HoldFile(const std::wstring& path) {
  return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsTrustedInstaller(HANDLE heldFile, const std::wstring& path, const std::wstring& publisher) {
  const TrustCheck check(heldFile, path);
  if (!check.Accepted()) {
    Trace(L"the installer " + path + L" is refused: WinVerifyTrust answered " + HexCode(check.Result()));
    return false;
  }
  const PCCERT_CONTEXT signer = check.Signer();
  // The whole name, not a part of it: "Tessard Test Publisher Ltd" is someone else.
  if (signer == nullptr || publisher.empty() || publisher != SimpleNameOf(signer)) {
    Trace(L"the installer " + path + L" is refused: it is not signed by " + publisher);
    return false;
  }
  return true;
}

}  // namespace tessard
