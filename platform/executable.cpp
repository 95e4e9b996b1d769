#include "platform/executable.h"

#include <windows.h>

namespace tessard {

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

}  // namespace tessard
