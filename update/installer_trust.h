#pragma once
// Whether a downloaded installer may run: an Authenticode signature that WinVerifyTrust
// accepts, made by the publisher the program was built for. The file is held open against
// writing and deleting from before the check until it has run, so that what was checked is
// what runs.

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace tessard {

// Opens the file for reading, sharing it for reading only; empty when it cannot be opened.
UniqueFileHandle HoldFile(const std::wstring& path);

// The held file's signature is valid and its signer's simple name is exactly `publisher`.
bool IsTrustedInstaller(HANDLE heldFile, const std::wstring& path, const std::wstring& publisher);

}  // namespace tessard
