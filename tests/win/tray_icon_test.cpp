// The tray icon on a window of the test's own, with the shell's notify-icon call recorded.

#include "app/tray_icon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "balloon/balloon_window.h"
#include "resources/resource.h"
#include "tests/win/main_dialog_fixture.h"

namespace tessard::testing {
namespace {

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    notifications.clear();
    shellAnswer = TRUE;
    owner_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner_, nullptr);
    tray_.Attach(owner_);
  }
  void TearDown() override { ::DestroyWindow(owner_); }

  HWND owner_ = nullptr;
  TrayIcon tray_;
  const decltype(ShellNotify)::Replacement notify_ = ShellNotify.Replace(&RecordNotify);
};

TEST_F(TrayIconTest, EveryCallCarriesTheWindows2000LayoutTheWindowAndId128) {
  tray_.Add(L"tip");
  tray_.SetState(2);
  tray_.ShowBalloon(L"text", 10);
  tray_.Remove();
  ASSERT_EQ(notifications.size(), 5u);
  for (const Notify& call : notifications) {
    EXPECT_EQ(call.data.cbSize, sizeof(void*) == 4 ? 936u : 952u);
    EXPECT_EQ(call.data.hWnd, owner_);
    EXPECT_EQ(call.data.uID, 128u);
  }
  EXPECT_EQ(notifications.back().message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_FALSE(tray_.IsShown());
}

TEST_F(TrayIconTest, AddingShowsTheNormalIconWithTipAndCallbackWhateverTheShellSays) {
  shellAnswer = FALSE;
  tray_.Add(std::wstring(200, L'x'));
  EXPECT_TRUE(tray_.IsShown());
  ASSERT_EQ(notifications.size(), 1u);
  const NOTIFYICONDATAW& added = notifications[0].data;
  EXPECT_EQ(notifications[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(added.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(added.uCallbackMessage, 1036u);
  EXPECT_EQ(TrayResourceOf(added.hIcon), IDI_TOKEN);
  EXPECT_EQ(std::wstring(added.szTip), std::wstring(127, L'x'));
}

TEST_F(TrayIconTest, StatesAndTheAnimationChangeTheIconOnlyWhileItIsShown) {
  tray_.StartBusy();
  tray_.Animate();
  tray_.SetState(1);
  EXPECT_TRUE(notifications.empty()) << "no icon, no change";
  tray_.StopBusy();

  tray_.Add(L"tip");
  notifications.clear();
  tray_.StartBusy();
  tray_.Animate();
  tray_.Animate();
  tray_.SetState(0);
  tray_.SetState(4);
  tray_.StopBusy();
  tray_.Animate();
  const int size = ::GetSystemMetrics(SM_CXSMICON);
  EXPECT_EQ(IconChanges(),
            (std::vector<int>{IDI_TOKEN_BUSY1, IDI_TOKEN_BUSY2, IDI_TOKEN_BUSY1, IDI_TOKEN, IDI_TOKEN_BUSY2}))
      << "busy 2, 3, 2; no state 0 or 4; normal 1, then from 1 to 3";
  EXPECT_NE(EntryOf(IDI_TOKEN_BUSY1, size), EntryOf(IDI_TOKEN_BUSY2, size));
  EXPECT_NE(EntryOf(IDI_TOKEN_BUSY1, size), EntryOf(IDI_TOKEN, size));
}

TEST_F(TrayIconTest, TheAnimationTicksEvery350MsUntilStopped) {
  tray_.Add(L"tip");
  const auto started = std::chrono::steady_clock::now();
  tray_.StartBusy();
  bool ticked = false;
  for (MSG message; !ticked && std::chrono::steady_clock::now() - started < std::chrono::seconds(5);) {
    if (::PeekMessageW(&message, owner_, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      ticked = message.wParam == TrayIcon::kAnimationTimer;
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_TIMER);
    }
  }
  ASSERT_TRUE(ticked);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(330));
  tray_.StopBusy();
  EXPECT_FALSE(::KillTimer(owner_, TrayIcon::kAnimationTimer)) << "the animation's timer outlived StopBusy";
}

TEST_F(TrayIconTest, BalloonsNeedTheIconAndEachClosesTheOneBefore) {
  tray_.ShowBalloon(L"dropped", 10);
  EXPECT_TRUE(notifications.empty());
  tray_.Add(L"tip");
  notifications.clear();
  tray_.ShowBalloon(L"first", 10);
  tray_.ShowBalloon(std::wstring(300, L'y'), 5);
  ASSERT_EQ(notifications.size(), 4u);
  const std::wstring texts[] = {L"", L"first", L"", std::wstring(255, L'y')};
  const UINT timeouts[] = {10000, 10000, 5000, 5000};
  for (size_t i = 0; i < notifications.size(); ++i) {
    const NOTIFYICONDATAW& data = notifications[i].data;
    EXPECT_EQ(notifications[i].message, static_cast<DWORD>(NIM_MODIFY)) << i;
    EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_INFO)) << i;
    EXPECT_EQ(std::wstring(data.szInfo), texts[i]) << i;
    EXPECT_EQ(data.uTimeout, timeouts[i]) << i;
    EXPECT_EQ(std::wstring(data.szInfoTitle), L"") << i;
    EXPECT_EQ(data.dwInfoFlags, 0u) << i;
  }
}

TEST_F(TrayIconTest, WithTheBalloonWindowTheShellShowsNoBalloon) {
  balloonWindow = CreateBalloonWindow(RECT{0, 0, 5, 5});
  ASSERT_NE(balloonWindow, nullptr);
  tray_.Add(L"tip");
  notifications.clear();
  tray_.ShowBalloon(L"Orvane-CA Token is inserted!", 10);
  EXPECT_TRUE(notifications.empty());
  EXPECT_TRUE(::IsWindowVisible(balloonWindow));
  ::DestroyWindow(balloonWindow);
  balloonWindow = nullptr;
}

}  // namespace
}  // namespace tessard::testing
