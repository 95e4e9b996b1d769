#pragma once
// Reads of registry values into the fixed-size buffers the program uses.

#include <windows.h>

#include <optional>
#include <string>

#include "platform/handles.h"

namespace tessard {

UniqueRegKey OpenRegistryKey(HKEY root, const wchar_t* path, REGSAM access);

// A string value of at most 259 characters, whatever its registry type; empty when the
// value is missing, longer, or unreadable.
std::optional<std::wstring> ReadRegistryText(HKEY key, const wchar_t* name);

std::optional<DWORD> ReadRegistryDword(HKEY key, const wchar_t* name);

}  // namespace tessard
