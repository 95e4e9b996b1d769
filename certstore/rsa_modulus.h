#pragma once
// Reads the modulus out of a certificate's subject public key bits (a DER RSAPublicKey).
// The bytes come from a token, so every length is checked against what is left before it
// is followed; anything malformed or not RSA gives no modulus.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessard {

// The INTEGER's content with one leading zero byte dropped; nullopt when the bits do not
// start with a SEQUENCE holding an INTEGER of one or two length bytes that fits the input.
std::optional<std::vector<std::uint8_t>> ReadRsaModulus(std::span<const std::uint8_t> keyBits);

}  // namespace tessard
