#include "platform/dll_search.h"

namespace tessard {

namespace {

// Looked up at run time: older Windows lacks it, and a static import would keep the program
// from starting there.
using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);

SetDefaultDllDirectoriesEntry SetDefaultDllDirectoriesOfSystem() {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<SetDefaultDllDirectoriesEntry>(
      reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

bool defaultDirectoriesSet = false;

}  // namespace

void KeepLibrarySearchToSystemFolders() {
  ::SetDllDirectoryW(L"");
  if (const SetDefaultDllDirectoriesEntry setDefault = SetDefaultDllDirectoriesOfSystem()) {
    defaultDirectoriesSet = setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) != FALSE;
  }
}

HMODULE LoadLibraryFromPath(const std::wstring& path) {
  // With the default directories set, the altered search path is no longer allowed; the
  // library's own folder is asked for instead.
  const DWORD flags = defaultDirectoriesSet ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                                            : LOAD_WITH_ALTERED_SEARCH_PATH;
  return ::LoadLibraryExW(path.c_str(), nullptr, flags);
}

}  // namespace tessard
