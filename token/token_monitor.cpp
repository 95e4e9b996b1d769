#include "token/token_monitor.h"

#include <cstring>

#include "token/module_call.h"
#include "token/monitor_backoff.h"
#include "token/token_event.h"

namespace tessard {

WaitForTokenEventEntry WaitEntryOf(const void* auxFunctions) {
  void (*entry)() = nullptr;
  std::memcpy(&entry, static_cast<const uint8_t*>(auxFunctions) + kWaitEntryOffset, sizeof entry);
  return reinterpret_cast<WaitForTokenEventEntry>(entry);
}

TokenMonitor::TokenMonitor() : wake_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CK_RV TokenMonitor::Start(WaitForTokenEventEntry wait, HWND window, UINT message) {
  if (thread_.IsRunning() || !wake_) return CKR_GENERAL_ERROR;
  wait_ = wait;
  window_ = window;
  message_ = message;
  ::ResetEvent(wake_.get());
  return thread_.Start(&TokenMonitor::MonitorThreadProc, nullptr, this) == 0 ? CKR_OK : CKR_GENERAL_ERROR;
}

bool TokenMonitor::Ending() const { return ::WaitForSingleObject(wake_.get(), 0) == WAIT_OBJECT_0; }

int32_t TokenMonitor::MonitorThreadProc(void* parameter) {
  const auto* self = static_cast<const TokenMonitor*>(parameter);
  if (self->wait_ == nullptr) return 0;
  FailureBackoff backoff;
  // Kept across calls: an event that leaves it untouched carries the previous value.
  CK_ULONG data = 0;
  while (!self->thread_.IsStopRequested()) {
    CK_SLOT_ID slot = 0;
    CK_ULONG code = 0;
    const CK_RV rv = self->wait_(0, &slot, &code, &data, nullptr);
    // 0x190 ends the monitor only when our own Close finalised the module; from a module
    // that restarted, say, it is one more failure, and events must still be heard after it.
    if (rv == CKR_CRYPTOKI_NOT_INITIALIZED && self->Ending()) break;
    // A lasting fault is traced once, at its start.
    if (rv != CKR_OK && !backoff.Failing()) Checked("WaitForTokenEvent", rv);
    const unsigned pauseMs = backoff.PauseAfter(rv != CKR_OK);
    if (rv == CKR_OK) {
      ::PostMessageW(self->window_, self->message_, PackTokenEvent(slot, code), static_cast<LPARAM>(data));
      ::Sleep(0);
    } else if (::WaitForSingleObject(self->wake_.get(), pauseMs) == WAIT_OBJECT_0) {
      break;
    }
  }
  return 1;
}

}  // namespace tessard
