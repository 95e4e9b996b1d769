#include "token/atr_match.h"

namespace tessard {

bool MatchAtr(std::span<const std::uint8_t> stored, std::span<const std::uint8_t> card,
              std::span<const std::uint8_t> mask) {
  if (stored.size() != card.size() || card.size() > kMaxAtrLength) return false;
  for (std::size_t i = 0; i < card.size(); ++i) {
    const std::uint8_t maskByte = i < mask.size() ? mask[i] : 0;
    if (stored[i] != (card[i] & maskByte)) return false;
  }
  return true;
}

}  // namespace tessard
