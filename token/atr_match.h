#pragma once
// Matching a card's answer-to-reset against a card type of the smart-card database.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessard {

// The reader state holds up to 36 ATR bytes; ATRs up to that length are compared in full,
// so a long ATR is told apart by all of its bytes rather than refused.
constexpr std::size_t kMaxAtrLength = 36;

// True when the stored ATR has the card's length (at most kMaxAtrLength) and equals the
// card's bytes ANDed with the mask; mask bytes past the stored mask count as zero.
bool MatchAtr(std::span<const std::uint8_t> stored, std::span<const std::uint8_t> card,
              std::span<const std::uint8_t> mask);

}  // namespace tessard
