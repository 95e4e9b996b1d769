// The program's icons and balloon window at 144 DPI (150 %), in the prefix whose display is set
// so (tests/wine/dpi144); and the program's manifest, by which the system gives it that DPI
// rather than scale its windows.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "app/tray_icon.h"
#include "balloon/balloon_window.h"
#include "platform/display.h"
#include "platform/executable.h"
#include "platform/system_calls.h"
#include "resources/resource.h"
#include "tests/win/icon_probe.h"

namespace tessard {
namespace {

class At144Dpi : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(DisplayDpi(), 144) << "the prefix's display is not at 144 DPI"; }
};

HICON added = nullptr;
BOOL RecordAdded(DWORD, NOTIFYICONDATAW* data) {
  added = data->hIcon;
  return TRUE;
}

TEST_F(At144Dpi, TheTrayGetsTheIconsOwn24PixelEntry) {
  const auto record = ShellNotify.Replace(&RecordAdded);
  TrayIcon tray;
  tray.Add(L"tip");
  EXPECT_EQ(testing::ImageOf(added).width, 24);
  EXPECT_EQ(testing::TrayResourceOf(added), IDI_TOKEN) << "not the pixels of the icon's 24-pixel entry";
}

// 70 and 35 pixels from the right and bottom edges at 96 DPI; 12-pixel characters.
TEST_F(At144Dpi, TheBalloonWindowGrowsWithTheDpiAndBreaksALineWiderThanTheScreen) {
  balloonWindow = CreateBalloonWindow(RECT{0, 0, 5, 5});
  ASSERT_NE(balloonWindow, nullptr);
  ShowBalloonWindow(
      L"Switch the Cache option successfully!You need to restart your computer to complete this operation.", 5);
  RECT frame{};
  ::GetWindowRect(balloonWindow, &frame);
  ::DestroyWindow(balloonWindow);
  balloonWindow = nullptr;
  EXPECT_EQ(frame.right, ::GetSystemMetrics(SM_CXSCREEN) - 105);
  EXPECT_EQ(frame.bottom, ::GetSystemMetrics(SM_CYSCREEN) - 53);
  EXPECT_EQ(frame.left, 105) << "as far from the left edge as from the right";
  EXPECT_GE(frame.bottom - frame.top, 2 * 18 + 2 * 8) << "two lines of 18-pixel characters between the margins";
}

using UniqueActivationContext = UniqueResource<HANDLE, &::ReleaseActCtx, -1>;

// As the system reads it when it starts the program.
TEST(ProgramManifest, AsksForTheSystemsDpiAndNamesFiveSystems) {
  const std::wstring program = ExecutableFolder() + L"tessard.exe";
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = program.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);  // the program's manifest
  const UniqueActivationContext context(::CreateActCtxW(&request));
  ASSERT_TRUE(context);
  wchar_t aware[16] = {};
  EXPECT_TRUE(::QueryActCtxSettingsW(0, context.get(), L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                     L"dpiAware", aware, 16, nullptr));
  EXPECT_EQ(std::wstring(aware), L"true") << "system-aware, not per monitor";
  BYTE compatibility[512] = {};
  ASSERT_TRUE(::QueryActCtxW(0, context.get(), nullptr, CompatibilityInformationInActivationContext, compatibility,
                             sizeof compatibility, nullptr));
  DWORD systems = 0;
  std::memcpy(&systems, compatibility, sizeof systems);
  EXPECT_EQ(systems, 5u) << "Vista, 7, 8, 8.1, and 10 and 11";
}

}  // namespace
}  // namespace tessard
