#include "certstore/expiry_rules.h"

#include <limits>

namespace tessard {
namespace {
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kSecondsPerDay = 86'400;
}  // namespace

std::optional<std::uint64_t> ExpiryLimit(std::uint64_t nowUtc, int days) {
  if (days < 0) return std::nullopt;
  constexpr std::uint64_t kTicksPerDay = kSecondsPerDay * kTicksPerSecond;
  const std::uint64_t latest = std::numeric_limits<std::uint64_t>::max();
  // Far beyond any certificate's NotAfter: saturate rather than wrap.
  if (static_cast<std::uint64_t>(days) > (latest - nowUtc) / kTicksPerDay) return latest;
  return nowUtc + static_cast<std::uint64_t>(days) * kTicksPerDay;
}

bool ExpiresBy(std::uint64_t notAfterUtc, std::uint64_t limitUtc) { return notAfterUtc <= limitUtc; }

}  // namespace tessard
