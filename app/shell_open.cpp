#include "app/shell_open.h"

// After <windows.h>, which it needs.
#include <shellapi.h>

namespace tessard {

namespace {

void CallShellExecuteW(const wchar_t* path) {
  ::ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

ShellOpenFunction shellOpenFunction = &CallShellExecuteW;

}  // namespace

void ShellOpen(const wchar_t* path) { shellOpenFunction(path); }

ShellOpenFunction ReplaceShellOpenFunction(ShellOpenFunction function) {
  ShellOpenFunction previous = shellOpenFunction;
  shellOpenFunction = function;
  return previous;
}

}  // namespace tessard
