// Feeds arbitrary token values to the reader of a certificate's own encoding and to the RSA
// key reader behind the choice of "MY": what they return must lie inside the input, and a
// modulus length must agree with its bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "certstore/certificate_encoding.h"
#include "certstore/rsa_modulus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> value(data, size);
  if (const auto length = tessard::DerElementLength(value); length && (*length < 2 || *length > size)) std::abort();
  if (const auto own = tessard::CertificateEncoding(value)) {
    if (own->data() != data || own->size() > size || (*own)[0] != 0x30) std::abort();
  }
  if (const auto modulus = tessard::ReadRsaModulus(value)) {
    if (modulus->size() + 4 > size) std::abort();
    if (tessard::RsaModulusBits(*modulus) > modulus->size() * 8) std::abort();
  }
  return 0;
}
