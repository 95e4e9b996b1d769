#include "certstore/certificate_encoding.h"

namespace tessard {

namespace {

constexpr std::uint8_t kSequenceTag = 0x30;
constexpr std::uint8_t kLongForm = 0x80;
constexpr std::size_t kMostLengthOctets = 4;

}  // namespace

std::optional<std::size_t> DerElementLength(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const std::uint8_t first = bytes[1];
  std::size_t header = 2;
  std::size_t content = first;
  if (first & kLongForm) {
    // 0x80 alone is the indefinite length, which DER does not allow.
    const std::size_t octets = first & ~kLongForm;
    if (octets == 0 || octets > kMostLengthOctets || bytes.size() - header < octets) return std::nullopt;
    // DER gives a length in as few octets as it takes: no leading zero, no long form below 128.
    if (bytes[header] == 0) return std::nullopt;
    content = 0;
    for (std::size_t i = 0; i < octets; ++i) content = (content << 8) | bytes[header + i];
    if (content < kLongForm) return std::nullopt;
    header += octets;
  }
  if (bytes.size() - header < content) return std::nullopt;
  return header + content;
}

std::optional<std::span<const std::uint8_t>> CertificateEncoding(std::span<const std::uint8_t> value) {
  if (value.empty() || value[0] != kSequenceTag) return std::nullopt;
  const std::optional<std::size_t> length = DerElementLength(value);
  if (!length) return std::nullopt;
  return value.first(*length);
}

}  // namespace tessard
