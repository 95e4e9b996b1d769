// Feeds arbitrary key bits to the RSA modulus reader: it must never read outside them, and
// a modulus it returns must lie inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "certstore/rsa_modulus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto modulus = tessard::ReadRsaModulus({data, size});
  if (modulus && modulus->size() + 4 > size) std::abort();
  return 0;
}
