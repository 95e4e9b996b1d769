#include "app/cert_expired.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "localisation/lang.h"
#include "localisation/multi_language.h"
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
  RECT messagePlace{};  // in the dialog's client area
  RECT okPlace{};
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
  for (auto [id, place] : {std::pair{IDC_EXPIRED_MESSAGE, &seen.messagePlace}, std::pair{IDOK, &seen.okPlace}}) {
    ::GetWindowRect(::GetDlgItem(window, id), place);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(place), 2);
  }
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

int Height(const RECT& rect) { return rect.bottom - rect.top; }

TEST(CertExpired, AWarningLongerThanItsRoomGrowsTheDialogAndMovesTheButtonDownWithIt) {
  const auto close = [](HWND window) { ::PostMessageW(window, WM_COMMAND, IDOK, 0); };
  const Seen usual = ShowAndClose(close);
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring file = std::wstring(temp) + L"tessard-long-warning_1033.lng";
  std::ofstream(file.c_str(), std::ios::binary)
      << "[settings]\r\nCodePage=1033\r\nLanguage=English\r\n[strings]\r\n10019=One certificate or more in the "
         "token is to be expired (or already expired). Please remember to update it before it stops working: ask "
         "your certificate authority for a new one, then insert the token again.\r\n";
  const zeph::MultiLanguage& store = zeph::MultiLanguage::Instance();
  const std::wstring folder = store.Folder();
  const std::wstring baseName = store.BaseName();
  const int language = store.LanguageId();
  LangSetFolder(temp);
  LangSetBaseName(L"tessard-long-warning");
  LangSetId(1033);
  const Seen grown = ShowAndClose(close);
  LangSetFolder(folder);
  LangSetBaseName(baseName);
  LangSetId(language);
  ::DeleteFileW(file.c_str());

  ASSERT_TRUE(usual.found && grown.found);
  const int growth = Height(grown.messagePlace) - Height(usual.messagePlace);
  EXPECT_GT(growth, 0);
  EXPECT_EQ(grown.messagePlace.top, usual.messagePlace.top);
  EXPECT_EQ(grown.okPlace.top - usual.okPlace.top, growth);
  EXPECT_EQ(Height(grown.frame) - Height(usual.frame), growth);
}

}  // namespace
}  // namespace tessard
