#include "tools/deskprobe/shown_tips.h"

#include <windows.h>

#include <string_view>

namespace tessard {

namespace {

BOOL CALLBACK CollectTip(HWND window, LPARAM parameter) {
  wchar_t name[32] = {};
  ::GetClassNameW(window, name, 32);
  if (std::wstring_view(name) != L"tooltips_class32" || !::IsWindowVisible(window)) return TRUE;
  // A tooltip answers WM_GETTEXT with its current text, across processes.
  wchar_t text[512] = {};
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &length);
  reinterpret_cast<std::vector<std::wstring>*>(parameter)->push_back(text);
  return TRUE;
}

}  // namespace

std::vector<std::wstring> ShownTips() {
  std::vector<std::wstring> texts;
  ::EnumWindows(&CollectTip, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

}  // namespace tessard
