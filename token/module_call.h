#pragma once
// A module entry's status as the token side hands it on: a failure leaves a line in the failure
// trace with the entry's name and the status, so that a support person sees which call of the
// token's module failed and how.

#include "token/pkcs11.h"

namespace tessard {

// `rv` as given; traced unless it is CKR_OK.
CK_RV Checked(const char* entry, CK_RV rv);

}  // namespace tessard
