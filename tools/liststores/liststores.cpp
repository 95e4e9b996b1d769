// Prints the current user's certificates in the stores the program writes to, one per
// line: store, subject, and for entries with key-provider information the container,
// provider and key spec. Used by the demonstration to show what registration did.

#include <windows.h>
// After <windows.h>, which it needs.
#include <wincrypt.h>

#include <cwchar>
#include <vector>

#include "certstore/crypt_handles.h"

namespace {

using tessard::StoreCertificates;
using tessard::UniqueCertStore;

void PrintKeyProvider(PCCERT_CONTEXT certificate) {
  DWORD size = 0;
  if (!::CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return;
  std::vector<BYTE> buffer(size);
  if (!::CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) return;
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
  std::wprintf(L"\tcontainer \"%ls\" provider \"%ls\" key spec %lu",
               info->pwszContainerName ? info->pwszContainerName : L"", info->pwszProvName ? info->pwszProvName : L"",
               info->dwKeySpec);
}

void PrintStore(const wchar_t* name) {
  const UniqueCertStore store(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name));
  if (!store) {
    std::wprintf(L"%ls\t(cannot be opened)\n", name);
    return;
  }
  for (PCCERT_CONTEXT certificate : StoreCertificates(store.get())) {
    wchar_t subject[256] = {};
    ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject, 256);
    std::wprintf(L"%ls\t%ls", name, subject);
    PrintKeyProvider(certificate);
    std::wprintf(L"\n");
  }
}

}  // namespace

int wmain() {
  for (const wchar_t* name : {L"MY", L"CA", L"ROOT", L"ADDRESSBOOK"}) PrintStore(name);
  return 0;
}
