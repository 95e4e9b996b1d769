#include "token/token_access.h"

// Until the token module is bound, token access answers as a system without tokens.

namespace tessard {

TokenAccess::TokenAccess() = default;
TokenAccess::~TokenAccess() = default;

CK_RV TokenAccess::Open() { return CKR_OK; }
CK_RV TokenAccess::Close() { return CKR_OK; }
CK_RV TokenAccess::StartMonitor(HWND, UINT) { return CKR_OK; }
bool TokenAccess::HasTokens() const { return false; }
bool TokenAccess::IsSlotKnown(CK_SLOT_ID) const { return false; }
void TokenAccess::OnTokenInserted(CK_SLOT_ID, const std::wstring&) {}
void TokenAccess::OnTokenRemoved(CK_SLOT_ID, bool) {}
void TokenAccess::LaunchInfoPage(CK_SLOT_ID, const std::wstring&) {}
void TokenAccess::OnObjectCreated(CK_SLOT_ID, CK_OBJECT_HANDLE) {}
void TokenAccess::OnObjectDeleted(CK_SLOT_ID, CK_OBJECT_HANDLE) {}
bool TokenAccess::UnregisterSlotCertificates(CK_SLOT_ID, bool) { return true; }
bool TokenAccess::PurgeProviderCertificates() { return true; }
bool TokenAccess::CheckExpiry(CK_SLOT_ID, int) { return false; }

}  // namespace tessard
