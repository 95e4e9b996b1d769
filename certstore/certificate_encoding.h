#pragma once
// Where a certificate's own encoding ends. A token's value may carry bytes after the
// certificate; crypt32 decodes such a value but keeps every byte, so the store entry's
// thumbprint would not be the certificate's. Free of <windows.h>.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tessard {

// The whole DER element (tag, length octets, content) at the start of `bytes`: a definite
// length in as few octets as it takes, at most four, that fits inside `bytes`. None for an
// indefinite length, a length in more octets than needed, or an element that runs past the
// end.
std::optional<std::size_t> DerElementLength(std::span<const std::uint8_t> bytes);

// The certificate's own encoding at the start of a value: its outer SEQUENCE and nothing
// after it; none when the value does not start with a definite-length SEQUENCE.
std::optional<std::span<const std::uint8_t>> CertificateEncoding(std::span<const std::uint8_t> value);

}  // namespace tessard
