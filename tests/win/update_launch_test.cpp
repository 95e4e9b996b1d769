// The installer's launch on either family of Windows, from a temporary folder whose path has a
// space. Built twice: Wine reports Windows XP to update_launch_winxp (tests/wine/versions.reg),
// which starts the installer itself, shown; update_launch_default gets a later Windows, which
// starts it through the "runas" verb, hidden.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/win/standin_log.h"
#include "tests/win/update_site.h"
#include "update/update.h"

namespace tessard::testing {
namespace {

// The installer, offered from a temporary folder with a space in its path, runs and logs as
// `shown` says.
void RunsTheInstallerFromAFolderWithASpace(const std::string& shown) {
  const UpdateSite site;
  const SettingsValue installed(L"Version", L"3.0.0");
  const std::wstring parent = ExecutableFolder() + L"launch-" + std::to_wstring(::GetCurrentProcessId());
  {
    const TemporaryFolder temp(parent + L"\\temp folder");
    // What the installer's path as an unquoted command line would start instead.
    ASSERT_TRUE(CopyStandin(parent + L"\\temp.exe"));
    const StandinLog log(temp.Path() + L"\\standin.log");
    site.Offer("3.0.1", Installer::kSigned);
    RunUpdate(site.Folder());
    EXPECT_EQ(log.Lines(), InstallerRunLog(shown));
  }
  std::filesystem::remove_all(parent);
}

// Each copy has a case of its own name: CTest knows a case by its name alone.
#if defined(TESSARD_EXPECTED_VERSION_winxp)
TEST(InstallerLaunch, OnWindowsXpTheInstallerItselfStartsShown) { RunsTheInstallerFromAFolderWithASpace("shown"); }
#else
TEST(InstallerLaunch, OnLaterWindowsRunasStartsItHidden) { RunsTheInstallerFromAFolderWithASpace("hidden"); }
#endif

}  // namespace
}  // namespace tessard::testing
