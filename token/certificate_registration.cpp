// Registration of a token's certificates in the user's stores arrives with the
// certificate-store subsystem; until then token access registers nothing and reports
// success, so that the table and the monitor work on their own.

#include "token/token_access.h"

namespace tessard {

bool TokenAccess::RegisterSlotCertificates(CK_SLOT_ID) { return true; }

bool TokenAccess::UnregisterSlotCertificates(CK_SLOT_ID, bool) { return true; }

bool TokenAccess::PurgeProviderCertificates() { return true; }

void TokenAccess::OnObjectCreated(CK_SLOT_ID, CK_OBJECT_HANDLE) { std::lock_guard<std::recursive_mutex> hold(lock); }

void TokenAccess::OnObjectDeleted(CK_SLOT_ID, CK_OBJECT_HANDLE) { std::lock_guard<std::recursive_mutex> hold(lock); }

bool TokenAccess::CheckExpiry(CK_SLOT_ID, int) { return false; }

}  // namespace tessard
