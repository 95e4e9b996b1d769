#include "tests/win/recording_token_access.h"

#include "token/token_access.h"

namespace tessard {

namespace testing {

namespace {

std::mutex callsMutex;
std::vector<TokenCall> calls;

void Record(const char* name, unsigned long slot = 0, unsigned long data = 0) {
  std::lock_guard<std::mutex> hold(callsMutex);
  calls.push_back({name, slot, data, ::GetCurrentThreadId()});
}

}  // namespace

TokenAnswers& Answers() {
  static TokenAnswers answers;
  return answers;
}

std::vector<TokenCall> RecordedCalls() {
  std::lock_guard<std::mutex> hold(callsMutex);
  return calls;
}

std::vector<TokenCall> RecordedCalls(const std::string& name) {
  std::vector<TokenCall> matching;
  for (const TokenCall& call : RecordedCalls()) {
    if (call.name == name) matching.push_back(call);
  }
  return matching;
}

void ClearRecordedCalls() {
  std::lock_guard<std::mutex> hold(callsMutex);
  calls.clear();
}

}  // namespace testing

using testing::Answers;
using testing::Record;

TokenAccess::TokenAccess() = default;
TokenAccess::~TokenAccess() = default;

CK_RV TokenAccess::Open() {
  Record("Open");
  return Answers().open;
}
CK_RV TokenAccess::Close() {
  Record("Close");
  return CKR_OK;
}
CK_RV TokenAccess::StartMonitor(HWND, UINT message) {
  Record("StartMonitor", 0, message);
  return Answers().startMonitor;
}
bool TokenAccess::HasTokens() const { return Answers().hasTokens; }
bool TokenAccess::IsSlotKnown(CK_SLOT_ID) const { return Answers().slotKnown; }
void TokenAccess::OnTokenInserted(CK_SLOT_ID slot, const std::wstring&) { Record("OnTokenInserted", slot); }
void TokenAccess::OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) { Record("OnTokenRemoved", slot, closeBrowser); }
void TokenAccess::LaunchInfoPage(CK_SLOT_ID slot, const std::wstring&) { Record("LaunchInfoPage", slot); }
void TokenAccess::OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) { Record("OnObjectCreated", slot, object); }
void TokenAccess::OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) { Record("OnObjectDeleted", slot, object); }
bool TokenAccess::UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList) {
  Record("UnregisterSlotCertificates", slot, clearList);
  return true;
}
bool TokenAccess::PurgeProviderCertificates() {
  Record("PurgeProviderCertificates");
  return true;
}
bool TokenAccess::CheckExpiry(CK_SLOT_ID slot, int days) {
  Record("CheckExpiry", slot, static_cast<unsigned long>(days));
  return Answers().expiring;
}

}  // namespace tessard
