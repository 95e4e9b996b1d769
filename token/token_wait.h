#pragma once
// The module's blocking event wait, the fourth entry of the token maker's auxiliary
// list: a 2-byte version, then function pointers packed without gaps.

#include <cstddef>

#include "token/pkcs11.h"

namespace tessard {

using WaitForTokenEventEntry = CK_RV (*)(CK_FLAGS flags, CK_SLOT_ID* slot, CK_ULONG* event, CK_ULONG* data,
                                         void* reserved);

inline constexpr size_t kWaitEntryOffset = 2 + 3 * sizeof(void*);

// The wait entry of the list, null when the module leaves it out.
WaitForTokenEventEntry WaitEntryOf(const void* auxFunctions);

}  // namespace tessard
