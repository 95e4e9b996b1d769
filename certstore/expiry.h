#pragma once
// The expiry check over the certificates read from a token.

#include <windows.h>

#include <vector>

#include "certstore/certificate_facts.h"

namespace tessard {

// True when any decodable value has NotAfter at or before now + days (UTC on both sides);
// false for negative days.
bool AnyCertificateExpiresBy(const std::vector<CertBytes>& values, int days, FILETIME nowUtc);
FILETIME CurrentUtcTime();

}  // namespace tessard
