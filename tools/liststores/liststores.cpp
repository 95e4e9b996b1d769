// Prints the current user's certificates in the stores the program writes to, one per
// line: store, subject, and for entries with key-provider information the container,
// provider and key spec. Used by the demonstration to show what registration did.

#include <cwchar>

#include "certstore/user_stores.h"

namespace {

using tessard::StoreCertificates;
using tessard::UniqueCertStore;

void PrintKeyProvider(PCCERT_CONTEXT certificate) {
  const auto buffer = tessard::ReadCertificateProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID);
  if (!buffer || buffer->size() < sizeof(CRYPT_KEY_PROV_INFO)) return;
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer->data());
  std::wprintf(L"\tcontainer \"%ls\" provider \"%ls\" key spec %lu",
               info->pwszContainerName ? info->pwszContainerName : L"", info->pwszProvName ? info->pwszProvName : L"",
               info->dwKeySpec);
}

void PrintStore(const wchar_t* name) {
  const UniqueCertStore store = tessard::OpenUserStore(name);
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
