// The balloon window of the Windows 95/98/Me family on the test's screen. Its ticks are
// sent directly, except where the test waits for the real one.

#include "balloon/balloon_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/handles.h"

namespace tessard {
namespace {

class BalloonWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    balloonWindow = CreateBalloonWindow(RECT{0, 0, 5, 5});
    ASSERT_NE(balloonWindow, nullptr);
  }
  void TearDown() override {
    ::DestroyWindow(balloonWindow);
    balloonWindow = nullptr;
  }

  static bool Shown() { return ::IsWindowVisible(balloonWindow) != FALSE; }
  static void Tick() { ::SendMessageW(balloonWindow, WM_TIMER, 1, 0); }
  static RECT Frame() {
    RECT frame{};
    ::GetWindowRect(balloonWindow, &frame);
    return frame;
  }
};

TEST_F(BalloonWindowTest, MadeHiddenAsATopmostToolWindowOfItsClass) {
  EXPECT_FALSE(Shown());
  wchar_t name[64] = {};
  ::GetClassNameW(balloonWindow, name, 64);
  EXPECT_EQ(std::wstring(name), L"BALLOON0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47");
  EXPECT_EQ(::GetWindowLongPtrW(balloonWindow, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
            WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  EXPECT_EQ(::GetWindowLongPtrW(balloonWindow, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_BORDER), WS_POPUP);
}

TEST_F(BalloonWindowTest, ShowsAtTheLowerRightAndANewTextReplacesTheOld) {
  ShowBalloonWindow(L"a", 10);
  const RECT narrow = Frame();
  ShowBalloonWindow(L"Orvane-CA Token is inserted!", 5);
  ASSERT_TRUE(Shown());
  const RECT wide = Frame();
  for (const RECT& frame : {narrow, wide}) {
    EXPECT_EQ(frame.right, ::GetSystemMetrics(SM_CXSCREEN) - 70);
    EXPECT_EQ(frame.bottom, ::GetSystemMetrics(SM_CYSCREEN) - 35);
  }
  EXPECT_GT(narrow.right - narrow.left, 30) << "the text between margins of 15";
  EXPECT_GT(wide.right - wide.left, narrow.right - narrow.left);
  const UniqueGdiObject region(::CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(::GetWindowRgn(balloonWindow, static_cast<HRGN>(region.get())), COMPLEXREGION) << "the cut corners";
  for (int tick = 0; tick < 5; ++tick) Tick();
  EXPECT_TRUE(Shown()) << "the first text's ten seconds do not count";
  Tick();
  EXPECT_FALSE(Shown());
}

TEST_F(BalloonWindowTest, AClickOrAnEmptyTextHidesItAtOnce) {
  ShowBalloonWindow(L"text", 10);
  ::SendMessageW(balloonWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_FALSE(Shown());
  ShowBalloonWindow(L"again", 10);
  EXPECT_TRUE(Shown());
  ShowBalloonWindow(L"", 10);
  EXPECT_FALSE(Shown());
}

TEST_F(BalloonWindowTest, ItsOwnTickHidesABalloonOfNoSeconds) {
  ShowBalloonWindow(L"text", 0);
  ASSERT_TRUE(Shown());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (MSG message; Shown() && std::chrono::steady_clock::now() < deadline;) {
    if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::DispatchMessageW(&message);
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
  }
  EXPECT_FALSE(Shown());
}

}  // namespace
}  // namespace tessard
