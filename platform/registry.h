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

// A REG_SZ value of at most 259 characters, or a REG_DWORD; none when the value is missing,
// and none with a line in the failure trace when it has another type or form.
std::optional<std::wstring> ReadTypedText(HKEY key, const wchar_t* name);
std::optional<DWORD> ReadTypedNumber(HKEY key, const wchar_t* name);

// Opens the key for setting values, made where it is missing when `create`; why it could not
// be (a standard user meets ERROR_ACCESS_DENIED under HKEY_LOCAL_MACHINE) is in `status`.
UniqueRegKey OpenWritableKey(HKEY root, const wchar_t* path, bool create, LSTATUS& status);

// Values with their type and size; each failure leaves a line in the failure trace.
LSTATUS WriteRegistryText(HKEY key, const wchar_t* name, const std::wstring& text);
LSTATUS WriteRegistryNumber(HKEY key, const wchar_t* name, DWORD number);

// The value of a key made where it is missing; false when the key or the write is refused.
bool WriteRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text);

}  // namespace tessard
