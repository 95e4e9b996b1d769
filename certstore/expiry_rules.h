#pragma once
// The expiry decision in UTC on both sides: NotAfter is UTC, so the limit is too.
// Times are FILETIME ticks (100 ns since 1601-01-01 UTC) held as plain integers.

#include <cstdint>
#include <optional>

namespace tessard {

// now + days * 86400 s; nullopt for negative days (nothing is checked then).
std::optional<std::uint64_t> ExpiryLimit(std::uint64_t nowUtc, int days);

// A certificate counts when its NotAfter is at or before the limit.
bool ExpiresBy(std::uint64_t notAfterUtc, std::uint64_t limitUtc);

}  // namespace tessard
