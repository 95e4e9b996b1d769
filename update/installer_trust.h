#pragma once
// What a downloaded installer shows of itself: its Authenticode signature as WinVerifyTrust
// judges it, the key that signed it, whether its chain ends in a root of the machine's own
// store, and its version. The file is held open against writing and deleting from before the
// check until it has run, so that what was checked is what runs.

#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "update/update_rules.h"

namespace tessard {

// Opens the file for reading, sharing it for reading only; empty when it cannot be opened.
UniqueFileHandle HoldFile(const std::wstring& path);

InstallerFacts ExamineInstaller(HANDLE heldFile, const std::wstring& path);

}  // namespace tessard
