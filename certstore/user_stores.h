#pragma once
// The current user's registry-backed system stores, opened through crypt32.

#include <windows.h>
// After <windows.h>, which it needs.
#include <wincrypt.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "certstore/certificate_facts.h"
#include "certstore/crypt_handles.h"

namespace tessard {

inline constexpr wchar_t kPersonalStore[] = L"MY";
inline constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The store, null when it does not open (which the failure trace records).
UniqueCertStore OpenUserStore(const wchar_t* name);

// The stores one operation (an insertion, a removal, a wipe, a purge) works in. Opening a
// store reads every entry it holds, so each is opened at most once for the operation, on
// first use, and all are closed with it, in reverse order; nothing stays open at rest.
class UserStores {
 public:
  UserStores() = default;
  ~UserStores();
  UserStores(const UserStores&) = delete;
  UserStores& operator=(const UserStores&) = delete;

  // The open store, null when it cannot be opened (which is not tried again).
  HCERTSTORE Get(const wchar_t* name);

 private:
  struct Opened {
    std::wstring name;
    UniqueCertStore store;
  };
  std::vector<Opened> opened_;
};

// A certificate property read with the size query first, into a zero-filled buffer;
// nothing when it is missing, empty or unreadable.
std::optional<CertBytes> ReadCertificateProperty(PCCERT_CONTEXT certificate, DWORD property);

// Null when the value is not exactly one certificate: bytes after it, an indefinite length
// or anything crypt32 does not decode.
UniqueCertContext DecodeCertificate(std::span<const std::uint8_t> value);

}  // namespace tessard
