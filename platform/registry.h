#pragma once
// Reads of registry values into the fixed-size buffers the program uses.

#include <windows.h>

#include <optional>
#include <string>

#include "platform/handles.h"

namespace tessard {

UniqueRegKey OpenRegistryKey(HKEY root, const wchar_t* path, REGSAM access);

struct RegistryText {
  std::wstring text;  // up to the first terminator
  DWORD bytes = 0;    // the size of the stored data
};

// A string value of at most 259 characters, whatever its registry type, with the size the
// registry reported; none when the value is missing, longer, or unreadable.
std::optional<RegistryText> QueryRegistryText(HKEY key, const wchar_t* name);

// The text alone of QueryRegistryText.
std::optional<std::wstring> ReadRegistryText(HKEY key, const wchar_t* name);

std::optional<DWORD> ReadRegistryDword(HKEY key, const wchar_t* name);

}  // namespace tessard
