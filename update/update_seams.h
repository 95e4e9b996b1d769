#pragma once
// What the update agent asks of the machine that Wine cannot show a test: whether the system
// is online (Wine always says it is), and the pause between two looks at the install mutex.
// Each goes through one replaceable function whose default is the real call.

#include <windows.h>

namespace tessard {

using ConnectedStateFunction = BOOL (*)(DWORD* flags);
using PauseFunction = void (*)(DWORD milliseconds);

BOOL ConnectedState(DWORD* flags);
void Pause(DWORD milliseconds);

// Each returns the function that was in place.
ConnectedStateFunction ReplaceConnectedStateFunction(ConnectedStateFunction function);
PauseFunction ReplacePauseFunction(PauseFunction function);

}  // namespace tessard
