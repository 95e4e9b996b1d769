#include "tests/win/recording_token_access.h"

namespace tessard::testing {

void RecordingTokenAccess::Record(const char* name, unsigned long slot, unsigned long data) {
  std::lock_guard<std::mutex> hold(callsMutex_);
  calls_.push_back({name, slot, data, ::GetCurrentThreadId()});
}

std::vector<TokenCall> RecordingTokenAccess::Calls() const {
  std::lock_guard<std::mutex> hold(callsMutex_);
  return calls_;
}

std::vector<TokenCall> RecordingTokenAccess::Calls(const std::string& name) const {
  std::vector<TokenCall> matching;
  for (const TokenCall& call : Calls()) {
    if (call.name == name) matching.push_back(call);
  }
  return matching;
}

void RecordingTokenAccess::ClearCalls() {
  std::lock_guard<std::mutex> hold(callsMutex_);
  calls_.clear();
}

CK_RV RecordingTokenAccess::Open() {
  Record("Open");
  return answers.open;
}
CK_RV RecordingTokenAccess::Close() {
  Record("Close");
  return CKR_OK;
}
CK_RV RecordingTokenAccess::StartMonitor(HWND, UINT message) {
  Record("StartMonitor", 0, message);
  return answers.startMonitor;
}
bool RecordingTokenAccess::OnTokenInserted(CK_SLOT_ID slot, const std::wstring&) {
  Record("OnTokenInserted", slot);
  if (answers.readWhole && answers.knownOnceRead) answers.slotKnown = true;
  return answers.readWhole;
}
bool RecordingTokenAccess::HoldsAnotherToken(CK_SLOT_ID slot) {
  Record("HoldsAnotherToken", slot);
  return answers.anotherToken;
}
void RecordingTokenAccess::OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) {
  Record("OnTokenRemoved", slot, closeBrowser);
}
void RecordingTokenAccess::LaunchInfoPage(CK_SLOT_ID slot, const std::wstring&) { Record("LaunchInfoPage", slot); }
bool RecordingTokenAccess::OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) {
  Record("OnObjectCreated", slot, object);
  return answers.objectRegistered;
}
void RecordingTokenAccess::OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) {
  Record("OnObjectDeleted", slot, object);
}
bool RecordingTokenAccess::UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList) {
  Record("UnregisterSlotCertificates", slot, clearList);
  return true;
}
bool RecordingTokenAccess::PurgeProviderCertificates() {
  Record("PurgeProviderCertificates");
  return true;
}
bool RecordingTokenAccess::CheckExpiry(CK_SLOT_ID slot, int days) {
  Record("CheckExpiry", slot, static_cast<unsigned long>(days));
  return answers.expiring;
}

}  // namespace tessard::testing
