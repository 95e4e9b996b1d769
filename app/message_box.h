#pragma once
// Message boxes go through one replaceable function, so that tests can see text, caption
// and style without a box blocking them.

#include <windows.h>

namespace tessard {

using MessageBoxFunction = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

// Returns the function that was in place.
MessageBoxFunction ReplaceMessageBoxFunction(MessageBoxFunction function);

}  // namespace tessard
