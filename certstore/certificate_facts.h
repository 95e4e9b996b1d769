#pragma once
// What the token side has read from a token, handed to registration and removal as plain
// values: the store side never asks the token anything itself. Free of <windows.h>.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessard {

using CertBytes = std::vector<std::uint8_t>;

// One certificate object of a token.
struct CertificateFacts {
  CertBytes value;  // DER of the certificate (CKA_VALUE)
  CertBytes id;     // CKA_ID
  std::wstring containerName;
  // The token's friendly name (UTF-16 bytes with terminator); none when the object has none.
  std::optional<CertBytes> friendlyName;
  unsigned long keySpec = 0;  // AT_KEYEXCHANGE or AT_SIGNATURE once registered
};

// One public-key object of a token.
struct PublicKeyFacts {
  CertBytes id;
  std::wstring containerName;
  CertBytes modulus;  // big-endian; empty for a key without one
  bool rsa = false;
  std::optional<bool> encrypt;  // CKA_ENCRYPT, when the key answers it
};

// What registration needs to know of the token a certificate is on.
struct TokenFacts {
  // CK_TOKEN_INFO's serial number as the module gave it; none while it would not say.
  std::optional<std::string> serialNumber;
  // The slot description: the reader's name, which the container path of a key names.
  std::wstring readerName;
  // The provider its "MY" entries name: that of the card type the token's card matched in the
  // smart-card database, else the product's own; a service provider, or a key storage provider
  // (provider type 0).
  std::wstring providerName;
  bool keyStorageProvider = false;
  // The token's public keys; none when they could not be read.
  std::optional<std::vector<PublicKeyFacts>> publicKeys;
};

}  // namespace tessard
