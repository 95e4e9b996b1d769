// Holds Wine's desktop for a test run: a hidden window of the default desktop, so that the
// desktop process Wine starts for it stays up. Without one it ends a few seconds after the
// last window, and the next test that makes a window starts it again with that test's
// output pipes, which then stay open until the desktop ends and hold the test runner.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const HWND window =
      ::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return 1;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}
