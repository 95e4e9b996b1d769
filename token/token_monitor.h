#pragma once
// The monitor thread: blocks in the module's event wait and posts each event to the main
// dialog. It only posts, so it can never wait on the window thread.

#include <windows.h>

#include "platform/handles.h"
#include "platform/thread.h"
#include "token/token_wait.h"

namespace tessard {

class TokenMonitor {
 public:
  TokenMonitor();
  TokenMonitor(const TokenMonitor&) = delete;
  TokenMonitor& operator=(const TokenMonitor&) = delete;

  // CKR_OK when the thread runs; CKR_GENERAL_ERROR when one runs already or it cannot start.
  CK_RV Start(WaitForTokenEventEntry wait, HWND window, UINT message);
  // Ends the monitor: marks the ending, then `finalise` finalises the module (which makes a
  // pending wait return 0x190), then waits for the thread, at most `limitMs`. A pause between
  // failing calls ends at once too. False when the wait did not return and the thread was
  // ended from outside.
  template <typename Finalise>
  bool Stop(Finalise finalise, DWORD limitMs) {
    ::SetEvent(wake_.get());
    finalise();
    return thread_.Stop(limitMs);
  }

 private:
  static int32_t MonitorThreadProc(void* parameter);
  bool Ending() const;

  Thread thread_;
  UniqueHandle wake_;  // set by Stop
  WaitForTokenEventEntry wait_ = nullptr;
  HWND window_ = nullptr;
  UINT message_ = 0;
};

}  // namespace tessard
