#include "certstore/user_stores.h"

#include "certstore/certificate_encoding.h"
#include "platform/system_calls.h"
#include "platform/trace.h"
#include "platform/two_call.h"

namespace tessard {

UniqueCertStore OpenUserStore(const wchar_t* name) {
  UniqueCertStore store(OpenUserStoreHandle(name));
  if (!store) Trace(L"the user store \"" + std::wstring(name) + L"\" did not open: " + HexCode(::GetLastError()));
  return store;
}

UserStores::~UserStores() {
  while (!opened_.empty()) opened_.pop_back();
}

HCERTSTORE UserStores::Get(const wchar_t* name) {
  for (const Opened& opened : opened_) {
    if (opened.name == name) return opened.store.get();
  }
  opened_.push_back({name, OpenUserStore(name)});
  return opened_.back().store.get();
}

std::optional<CertBytes> ReadCertificateProperty(PCCERT_CONTEXT certificate, DWORD property) {
  return ReadTwoCall([&](BYTE* buffer, DWORD* size) {
    return ::CertGetCertificateContextProperty(certificate, property, buffer, size) != FALSE;
  });
}

UniqueCertContext DecodeCertificate(std::span<const std::uint8_t> value) {
  // crypt32 would take bytes after the certificate into the context, and into any store.
  const auto encoding = CertificateEncoding(value);
  if (!encoding || encoding->size() != value.size()) return UniqueCertContext();
  return UniqueCertContext(
      ::CertCreateCertificateContext(kCertificateEncoding, value.data(), static_cast<DWORD>(value.size())));
}

}  // namespace tessard
