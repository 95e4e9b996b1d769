#include "certstore/user_stores.h"

#include "certstore/certificate_encoding.h"
#include "platform/two_call.h"

namespace tessard {

namespace {

HCERTSTORE OpenRegistryStore(const wchar_t* name) {
  return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name);
}

StoreOpenFunction storeOpener = &OpenRegistryStore;

}  // namespace

UniqueCertStore OpenUserStore(const wchar_t* name) { return UniqueCertStore(storeOpener(name)); }

StoreOpenFunction ReplaceStoreOpenFunction(StoreOpenFunction function) {
  const StoreOpenFunction previous = storeOpener;
  storeOpener = function;
  return previous;
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
