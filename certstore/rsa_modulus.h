#pragma once
// Reads the modulus out of a certificate's subject public key bits (a DER RSAPublicKey).
// The bytes come from a token, so every length is checked against what is left before it
// is followed; anything malformed or not RSA gives no modulus.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessard {

// The INTEGER's content with one leading zero byte dropped; nullopt when the bits do not
// start with a SEQUENCE holding an INTEGER of one or two length bytes that fits the input.
std::optional<std::vector<std::uint8_t>> ReadRsaModulus(std::span<const std::uint8_t> keyBits);

// The modulus's length in bits: what signing programs ask of a key.
std::size_t RsaModulusBits(std::span<const std::uint8_t> modulus);

// Signing programs refuse RSA keys shorter than this; a certificate with one is no use in "MY".
inline constexpr std::size_t kShortestUsableRsaBits = 512;

}  // namespace tessard
