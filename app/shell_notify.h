#pragma once
// The shell's notify-icon call through one replaceable function, so that tests see every
// icon, tip and balloon the program asks for.

#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

namespace tessard {

using ShellNotifyFunction = BOOL (*)(DWORD message, NOTIFYICONDATAW* data);

BOOL ShellNotify(DWORD message, NOTIFYICONDATAW* data);

// Returns the function that was in place.
ShellNotifyFunction ReplaceShellNotifyFunction(ShellNotifyFunction function);

}  // namespace tessard
