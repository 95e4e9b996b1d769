// The real program at 144 DPI (150 %), in the shell's desktop of the prefix whose display is set
// so (tests/wine/dpi144): screenshots of its expiry warning and its tray menu, to look at.

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/e2e/shell_desktop.h"
#include "tests/e2e/token_program.h"

namespace tessard::e2e {
namespace {

class TrayAt144Dpi : public TokenProgram {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InShellDesktop());
    TokenProgram::SetUp();
    testing::RemoveFromAllStores({&expiring_});
  }
  void TearDown() override {
    TokenProgram::TearDown();
    testing::RemoveFromAllStores({&expiring_});
  }

  const CertBytes expiring_ = testing::LoadTestCertificate("expires_in_10");
};

TEST_F(TrayAt144Dpi, TheExpiryWarningAndTheTrayMenu) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("insert --slot 1 --cert " + testing::MadeCertificatePath("expires_in_10") + " --key");
  const HWND warning = WaitForWindow(program.Id(), L"Orvane-CA Token Manager", L"#32770", 10s);
  ASSERT_NE(warning, nullptr);
  // Once its thread has taken this message, the warning has been drawn.
  ::SendMessageTimeoutW(warning, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  Screenshot("expiry-dialog-144dpi", "the warning of a certificate that expires in 10 days, at 144 DPI");
  ClickAt(CentreOf(::GetDlgItem(warning, IDOK)));
  ASSERT_TRUE(PollUntil(10s, [&program] { return IconInTray(FindMainDialog(program.Id())); }));
  ClickAt(TrayIconCentre(), 3);
  ASSERT_NE(WaitForMenu(), nullptr);
  Screenshot("tray-menu-144dpi", "the tray menu open, at 144 DPI");
  PressKey("Escape");
}

}  // namespace
}  // namespace tessard::e2e
