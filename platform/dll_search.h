#pragma once
// Where the program loads libraries from: never the current folder or PATH, where anyone may
// leave a file of the right name, for the token module least of all.

#include <windows.h>

#include <string>

namespace tessard {

// Takes the current folder out of the search for every later load, and, where the system has
// it (Windows 7 with its update, and later), keeps the search to the system's folders.
void KeepLibrarySearchToSystemFolders();

// The library at `path` and nothing else; what it imports is looked for beside it first.
HMODULE LoadLibraryFromPath(const std::wstring& path);

}  // namespace tessard
