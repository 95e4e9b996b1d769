#pragma once
// Registry values are written through one replaceable function, so that tests see each value
// as the program hands it over: the registry itself adds the terminator that a string was
// counted without, and a failed write cannot be brought about otherwise.

#include <windows.h>

namespace tessard {

using SetRegistryValueFunction = LSTATUS (*)(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes);

LSTATUS SetRegistryValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes);

// Returns the function that was in place.
SetRegistryValueFunction ReplaceSetRegistryValueFunction(SetRegistryValueFunction function);

}  // namespace tessard
