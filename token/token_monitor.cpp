// The monitor thread: blocks in the module's event wait and posts each event to the
// main dialog. It only posts, so it can never wait on the window thread.

#include <cstring>

#include "token/token_access.h"
#include "token/token_event.h"
#include "token/token_wait.h"

namespace tessard {

WaitForTokenEventEntry WaitEntryOf(const void* auxFunctions) {
  void (*entry)() = nullptr;
  std::memcpy(&entry, static_cast<const uint8_t*>(auxFunctions) + kWaitEntryOffset, sizeof entry);
  return reinterpret_cast<WaitForTokenEventEntry>(entry);
}

CK_RV TokenAccess::StartMonitor(HWND window, UINT message) {
  notifyWindow = window;
  notifyMessage = message;
  return monitorThread.Start(&TokenAccess::MonitorThreadProc, nullptr, this) == 0 ? CKR_OK : CKR_GENERAL_ERROR;
}

int32_t TokenAccess::MonitorThreadProc(void* parameter) {
  const auto* self = static_cast<const TokenAccess*>(parameter);
  HWND window = self->notifyWindow;
  UINT message = self->notifyMessage;
  if (self->auxFunctions == nullptr) return 0;
  WaitForTokenEventEntry wait = WaitEntryOf(self->auxFunctions);
  if (wait == nullptr) return 0;
  // Kept across calls: an event that leaves it untouched carries the previous value.
  CK_ULONG data = 0;
  while (!self->monitorThread.IsStopRequested()) {
    CK_SLOT_ID slot = 0;
    CK_ULONG code = 0;
    CK_RV rv = wait(0, &slot, &code, &data, nullptr);
    if (rv == CKR_OK) {
      ::PostMessageW(window, message, PackTokenEvent(slot, code), static_cast<LPARAM>(data));
      ::Sleep(0);
    } else if (rv == CKR_CRYPTOKI_NOT_INITIALIZED) {
      break;
    }
  }
  return 1;
}

}  // namespace tessard
