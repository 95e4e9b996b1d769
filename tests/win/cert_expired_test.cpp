#include "app/cert_expired.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "resources/resource.h"

namespace tessard {
namespace {

struct Seen {
  bool found = false;
  RECT frame{};
  bool topmost = false;
  std::wstring caption;
  std::wstring message;
  std::wstring okText;
};

// What the timer does once the dialog is up: look at it, then close it the given way.
Seen seen;
std::function<void(HWND)> closeDialog;

BOOL CALLBACK InspectExpiryDialog(HWND window, LPARAM) {
  wchar_t caption[260] = {};
  ::GetWindowTextW(window, caption, 260);
  if (std::wstring(caption) != L"Orvane-CA Token Manager" || ::GetDlgItem(window, IDC_EXPIRED_MESSAGE) == nullptr) {
    return TRUE;
  }
  seen.found = true;
  seen.caption = caption;
  ::GetWindowRect(window, &seen.frame);
  seen.topmost = (::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  wchar_t text[512] = {};
  ::GetDlgItemTextW(window, IDC_EXPIRED_MESSAGE, text, 512);
  seen.message = text;
  ::GetDlgItemTextW(window, IDOK, text, 512);
  seen.okText = text;
  closeDialog(window);
  return FALSE;
}

void CALLBACK LookForDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  ::EnumThreadWindows(::GetCurrentThreadId(), &InspectExpiryDialog, 0);
  if (seen.found) ::KillTimer(nullptr, timer);
}

Seen ShowAndClose(std::function<void(HWND)> close) {
  seen = {};
  closeDialog = std::move(close);
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &LookForDialog);
  CCertExpired dialog;
  dialog.DoModal(nullptr);
  ::KillTimer(nullptr, timer);
  return seen;
}

TEST(CertExpired, ShowsTheWarningCentredAThirdDownAndTopmost) {
  const Seen shown = ShowAndClose([](HWND window) { ::PostMessageW(window, WM_COMMAND, IDOK, 0); });
  ASSERT_TRUE(shown.found);
  EXPECT_EQ(shown.message,
            L"One certificate or more in the token is to be expired(or already expired). Please remember to update.");
  EXPECT_EQ(shown.okText, L"OK");
  EXPECT_TRUE(shown.topmost);
  const int width = shown.frame.right - shown.frame.left;
  const int height = shown.frame.bottom - shown.frame.top;
  EXPECT_EQ(shown.frame.left, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(shown.frame.top, (::GetSystemMetrics(SM_CYSCREEN) - height) / 3);
}

TEST(CertExpired, EscapeAndTheCloseBoxCloseItToo) {
  EXPECT_TRUE(ShowAndClose([](HWND window) { ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0); }).found);
  EXPECT_TRUE(ShowAndClose([](HWND window) { ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }).found);
}

}  // namespace
}  // namespace tessard
