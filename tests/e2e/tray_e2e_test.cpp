// The real program in a desktop with the real shell, driven by real clicks: the tray icon,
// its balloons and menu, the token manager it starts and ends, the shell's restart, and the
// balloon window of the Windows 98 family. Screenshots go to the build folder.

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <memory>
#include <string>

#include "platform/registry.h"
#include "tests/e2e/shell_desktop.h"
#include "tests/e2e/token_program.h"
#include "tests/win/standin_log.h"
#include "tests/win/store_probe.h"
#include "tests/win/test_key.h"
#include "token/product_info.h"

namespace tessard::e2e {
namespace {

using testing::LoadTestCertificate;
using testing::MadeCertificatePath;
using testing::StoreHolds;

constexpr wchar_t kManager[] = L"orvane-ca_mgr.exe";
constexpr wchar_t kInserted[] = L"Orvane-CA Token is inserted!";
constexpr wchar_t kCacheSwitched[] =
    L"Switch the Cache option successfully!You need to restart your computer to complete this operation.";
constexpr wchar_t kBalloonClass[] = L"BALLOON0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47";

std::string Token(const std::string& certificate) {
  return "insert --slot 1 --cert " + MadeCertificatePath(certificate) + " --key";
}

// The stand-in manager is installed in the folder the settings key names.
class TrayOfTheProgram : public TokenProgram {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InShellDesktop());
    TokenProgram::SetUp();
    Forget();
    const std::wstring folder = ExecutableFolder() + L"tray manager";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    // The token maker's folder: its manager, and its module, which is loaded from there.
    ASSERT_TRUE(::CopyFileW((ExecutableFolder() + L"standin.exe").c_str(), (folder + L"\\" + kManager).c_str(), FALSE));
    ASSERT_TRUE(
        ::CopyFileW((ExecutableFolder() + L"Orvane-CAv3.dll").c_str(), (folder + L"\\Orvane-CAv3.dll").c_str(), FALSE));
    key_.SetText(L"Path", folder);
    log_ = std::make_unique<testing::StandinLog>(ExecutableFolder() + L"tray manager.log");
  }
  void TearDown() override {
    TokenProgram::TearDown();
    EndProcesses(kManager);
    Forget();
  }
  void Forget() { testing::RemoveFromAllStores({&user_, &expiring_}); }

  int ManagerStarts(int atLeast) { return log_->StartsOnce("orvane-ca_mgr.exe", atLeast); }
  static bool ManagerEnded() {
    return PollUntil(10s, [] { return ProcessCount(kManager) == 0; });
  }
  bool Registered() const { return StoreHolds(L"MY", user_); }

  testing::TestKey key_{kProductInfo.settingsKeyPath};
  std::unique_ptr<testing::StandinLog> log_;
  const CertBytes user_ = LoadTestCertificate("user_sign");
  const CertBytes expiring_ = LoadTestCertificate("expires_in_10");
};

TEST_F(TrayOfTheProgram, TheManagerFollowsTheTokenAndTheMenuStoresTheLanguage) {
  Sim(Token("user_sign"));
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  EXPECT_EQ(ManagerStarts(1), 1) << "at start-up with a token present";
  Sim("remove --slot 1");
  EXPECT_TRUE(ManagerEnded()) << "on removal";
  Sim(Token("user_sign"));
  EXPECT_TRUE(PollUntil(10s, [] { return TipShown(kInserted); }));
  Screenshot("tray-inserted-balloon", "the tray icon with the balloon of an insertion");
  EXPECT_EQ(ManagerStarts(2), 2) << "on insertion";

  Sim("event --slot 1 --code 262");
  EXPECT_TRUE(PollUntil(10s, [] { return TipShown(L"Generating key pair, please wait..."); }));
  Screenshot("tray-busy-frame", "a busy frame of the icon while a key pair is made");
  Sim("event --slot 1 --code 263");

  ClickAt(TrayIconCentre(), 3);
  const HWND menu = WaitForMenu();
  ASSERT_NE(menu, nullptr);
  Screenshot("tray-menu", "the tray menu open");
  ClickAt(MenuItemCentre(menu, 1, 4));
  EXPECT_TRUE(PollUntil(10s, [] {
    return TipShown(L"Switch the language successfully!You need to restart your computer to complete this operation.");
  }));
  // The user's own choice, not the machine's.
  const UniqueRegKey user = OpenRegistryKey(HKEY_CURRENT_USER, kUserKeyPath, KEY_QUERY_VALUE);
  EXPECT_EQ(user ? ReadRegistryText(user.get(), L"LanguageId") : std::nullopt, L"1066");
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserKeyPath, L"LanguageId");

  EndRunningInstance();
  EXPECT_TRUE(ManagerEnded()) << "on -t";
}

TEST_F(TrayOfTheProgram, AfterTheShellRestartsTheIconIsBackWithTheCaptionAndAnswersClicks) {
  Sim(Token("user_sign"));
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  const HWND dialog = FindMainDialog(program.Id());
  ASSERT_TRUE(PollUntil(10s, [dialog] { return IconInTray(dialog); }));
  // What a restarted shell does: it has lost every icon, and tells every window it is back.
  NOTIFYICONDATAW lost{};
  lost.cbSize = sizeof lost;
  lost.hWnd = dialog;
  lost.uID = 128;
  ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &lost));
  ::PostMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  ASSERT_TRUE(PollUntil(10s, [dialog] { return IconInTray(dialog); }));

  ClickAt(TrayIconCentre(), 1, 0);
  EXPECT_TRUE(PollUntil(10s, [] { return TipShown(L"Orvane-CA Token Manager V3.0"); }));
  ClickAt(TrayIconCentre(), 1, 2);
  EXPECT_EQ(ManagerStarts(2), 2) << "the double-click after the start-up";
  ClickAt(TrayIconCentre(), 3);
  EXPECT_NE(WaitForMenu(), nullptr);
  PressKey("Escape");
}

TEST_F(TrayOfTheProgram, StartedSilentItShowsNoIconEverButGoesOnWithItsWork) {
  Sim(Token("user_sign"));
  Program program = StartInstance(L"-s");
  ASSERT_TRUE(WaitsForEvents());
  EXPECT_TRUE(PollUntil(10s, [this] { return Registered(); }));
  Program second(L"-s");
  EXPECT_TRUE(second.WaitForExit(10s));
  // Handled before the token events that follow it.
  ::PostMessageW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  Sim("remove --slot 1");
  EXPECT_TRUE(PollUntil(10s, [this] { return !Registered(); }));
  Sim(Token("user_sign"));
  EXPECT_TRUE(PollUntil(10s, [this] { return Registered(); }));
  EXPECT_EQ(ManagerStarts(1), 1) << "on the insertion";
  EXPECT_FALSE(IconInTray(FindMainDialog(program.Id())));
}

TEST_F(TrayOfTheProgram, TheManagerWaitsUntilTheExpiryWarningIsClickedAway) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim(Token("expires_in_10"));
  const HWND warning = WaitForWindow(program.Id(), L"Orvane-CA Token Manager", L"#32770", 10s);
  ASSERT_NE(warning, nullptr);
  // Once its thread has taken this message, the warning has been drawn.
  ::SendMessageTimeoutW(warning, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  Screenshot("expiry-dialog", "the warning of a certificate that expires in 10 days");
  EXPECT_TRUE(log_->Lines().empty()) << "the manager started before the warning was closed";
  ClickAt(CentreOf(::GetDlgItem(warning, IDOK)));
  EXPECT_EQ(ManagerStarts(1), 1);
  EXPECT_FALSE(::IsWindow(warning));
}

TEST_F(TrayOfTheProgram, OnWindows98TheBalloonWindowShowsAtTheLowerRightAndHides) {
  const std::wstring win98 = L"tessard_win98.exe";
  ASSERT_TRUE(::CopyFileW((ExecutableFolder() + L"tessard.exe").c_str(), (ExecutableFolder() + win98).c_str(), FALSE));
  Program program(L"", win98);
  ASSERT_NE(WaitForWindow(program.Id(), kCaption, L"#32770", 10s), nullptr);
  ASSERT_TRUE(WaitsForEvents());
  Sim(Token("user_sign"));
  HWND balloon = nullptr;
  ASSERT_TRUE(PollUntil(10s, [&] {
    for (HWND window : WindowsOf(program.Id())) {
      if (ClassOf(window) == kBalloonClass && ::IsWindowVisible(window)) balloon = window;
    }
    return balloon != nullptr;
  }));
  RECT frame{};
  ::GetWindowRect(balloon, &frame);
  EXPECT_EQ(frame.right, ::GetSystemMetrics(SM_CXSCREEN) - 70);
  EXPECT_EQ(frame.bottom, ::GetSystemMetrics(SM_CYSCREEN) - 35);
  bool trayBalloon = false;
  const auto hidden = [&] {
    trayBalloon = trayBalloon || TipShown(kInserted) || TipShown(kCacheSwitched);
    return !::IsWindowVisible(balloon);
  };
  // Clicked at once, so that its ten seconds are far from over.
  ClickAt(CentreOf(balloon));
  EXPECT_TRUE(PollUntil(10s, hidden)) << "a click hides it";

  ClickAt(TrayIconCentre(), 3);
  const HWND menu = WaitForMenu();
  ASSERT_NE(menu, nullptr);
  ClickAt(MenuItemCentre(menu, 2, 4));
  ASSERT_TRUE(PollUntil(10s, [balloon] { return ::IsWindowVisible(balloon); }));
  const auto shown = std::chrono::steady_clock::now();
  Screenshot("win98-balloon-window", "the balloon window of the Windows 98 family with the result of a menu choice");
  EXPECT_TRUE(PollUntil(10s, hidden));
  EXPECT_GE(std::chrono::steady_clock::now() - shown, 4500ms) << "the menu's result shows for 5 s";
  EXPECT_FALSE(trayBalloon) << "the shell showed a balloon too";
}

}  // namespace
}  // namespace tessard::e2e
