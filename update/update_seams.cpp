#include "update/update_seams.h"

#include <wininet.h>

namespace tessard {

namespace {

BOOL CallInternetGetConnectedState(DWORD* flags) { return ::InternetGetConnectedState(flags, 0); }
void CallSleep(DWORD milliseconds) { ::Sleep(milliseconds); }

ConnectedStateFunction connectedStateFunction = &CallInternetGetConnectedState;
PauseFunction pauseFunction = &CallSleep;

}  // namespace

BOOL ConnectedState(DWORD* flags) { return connectedStateFunction(flags); }
void Pause(DWORD milliseconds) { pauseFunction(milliseconds); }

ConnectedStateFunction ReplaceConnectedStateFunction(ConnectedStateFunction function) {
  ConnectedStateFunction previous = connectedStateFunction;
  connectedStateFunction = function;
  return previous;
}

PauseFunction ReplacePauseFunction(PauseFunction function) {
  PauseFunction previous = pauseFunction;
  pauseFunction = function;
  return previous;
}

}  // namespace tessard
