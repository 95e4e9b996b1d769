#include "certstore/rsa_modulus.h"

#include <cstddef>

namespace tessard {
namespace {

constexpr std::uint8_t kSequenceTag = 0x30;
constexpr std::uint8_t kIntegerTag = 0x02;

// Skips the SEQUENCE header. Its length is not needed: only the first member is read, and
// that member is bounded by the input itself.
std::optional<std::size_t> SkipSequenceHeader(std::span<const std::uint8_t> bits) {
  if (bits.size() < 2 || bits[0] != kSequenceTag) return std::nullopt;
  std::size_t header = 2;
  if (bits[1] > 0x80) header += bits[1] & 0x7F;
  if (header > bits.size()) return std::nullopt;
  return header;
}

struct IntegerContent {
  std::size_t offset;
  std::size_t length;
};

// Short form up to 0x80, else one or two big-endian length bytes.
std::optional<IntegerContent> ReadIntegerHeader(std::span<const std::uint8_t> bits, std::size_t at) {
  if (bits.size() - at < 2 || bits[at] != kIntegerTag) return std::nullopt;
  const std::uint8_t lengthByte = bits[at + 1];
  std::size_t offset = at + 2;
  std::size_t length = lengthByte;
  if (lengthByte > 0x80) {
    const std::size_t lengthBytes = lengthByte & 0x7F;
    if (lengthBytes > 2 || bits.size() - offset < lengthBytes) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | bits[offset + i];
    offset += lengthBytes;
  }
  if (bits.size() - offset < length) return std::nullopt;
  return IntegerContent{offset, length};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadRsaModulus(std::span<const std::uint8_t> keyBits) {
  const auto start = SkipSequenceHeader(keyBits);
  if (!start) return std::nullopt;
  auto content = ReadIntegerHeader(keyBits, *start);
  if (!content) return std::nullopt;
  if (content->length > 0 && keyBits[content->offset] == 0) {
    ++content->offset;
    --content->length;
  }
  const auto first = keyBits.begin() + static_cast<std::ptrdiff_t>(content->offset);
  return std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(content->length));
}

std::size_t RsaModulusBits(std::span<const std::uint8_t> modulus) {
  std::size_t first = 0;
  while (first < modulus.size() && modulus[first] == 0) ++first;
  if (first == modulus.size()) return 0;
  std::size_t bits = (modulus.size() - first - 1) * 8;
  for (std::uint8_t top = modulus[first]; top != 0; top >>= 1) ++bits;
  return bits;
}

}  // namespace tessard
