// Prints the top-level windows of the session, one per line: process id, class, caption.
// Used by the demonstration to show what the program has open.

#include <windows.h>

#include <cwchar>

namespace {

BOOL CALLBACK PrintOneWindow(HWND window, LPARAM) {
  wchar_t name[256] = {};
  wchar_t caption[512] = {};
  ::GetClassNameW(window, name, 256);
  ::GetWindowTextW(window, caption, 512);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  std::wprintf(L"%lu\t%ls\t%ls\t%ls\n", process, name, ::IsWindowVisible(window) ? L"visible" : L"hidden", caption);
  return TRUE;
}

}  // namespace

int wmain() {
  ::EnumWindows(&PrintOneWindow, 0);
  return 0;
}
