#include "certstore/expiry.h"

#include <cstdint>

#include "certstore/expiry_rules.h"
#include "certstore/user_stores.h"

namespace tessard {
namespace {

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

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
