#pragma once
// Typed owners for the kernel, registry, module and GDI handles the program opens.

#include <windows.h>

#include "platform/unique_resource.h"

namespace tessard {

using UniqueHandle = UniqueResource<HANDLE, &::CloseHandle>;
// CreateFileW and CreateToolhelp32Snapshot report failure as INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueResource<HANDLE, &::CloseHandle, -1>;
using UniqueRegKey = UniqueResource<HKEY, &::RegCloseKey>;
using UniqueModule = UniqueResource<HMODULE, &::FreeLibrary>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, &::DeleteObject>;
using UniqueMenu = UniqueResource<HMENU, &::DestroyMenu>;

}  // namespace tessard
