#pragma once
// The shell's "open" of a program file goes through one replaceable function, so that tests
// see every program the dialog starts without starting it.

#include <windows.h>

namespace tessard {

using ShellOpenFunction = void (*)(const wchar_t* path);

// Its result is not waited for and not reported.
void ShellOpen(const wchar_t* path);

// Returns the function that was in place.
ShellOpenFunction ReplaceShellOpenFunction(ShellOpenFunction function);

}  // namespace tessard
