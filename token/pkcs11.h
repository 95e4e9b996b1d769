#pragma once
// The standard PKCS#11 types and entries (packed to 1 byte on Windows, as the Windows ABI
// requires), and the token maker's additions to them.

#include <p11-kit/pkcs11.h>

namespace tessard {

// Key container name of an object's key pair: ANSI text, no terminator counted.
inline constexpr CK_ATTRIBUTE_TYPE CKA_VENDOR_CONTAINER_NAME = 0x80455053UL;
// Certificate friendly name: the bytes of a NUL-terminated UTF-16 string.
inline constexpr CK_ATTRIBUTE_TYPE CKA_VENDOR_FRIENDLY_NAME = 0x80455055UL;

}  // namespace tessard
