// The real program against the loopback update server, pointed at it by an administrator's
// "UpdateUrl": the configuration it takes on an insertion, and the installer it runs.

#include <gtest/gtest.h>

#include <string>

#include "app/policy_values.h"
#include "tests/e2e/token_program.h"
#include "tests/win/standin_log.h"
#include "tests/win/store_probe.h"
#include "tests/win/test_key.h"
#include "tests/win/update_site.h"

namespace tessard::e2e {
namespace {

using testing::Installer;
using testing::LogLines;

constexpr wchar_t kExpiryCaption[] = L"Orvane-CA Token Manager";

std::string Cert(const std::string& name) { return " --cert " + testing::MadeCertificatePath(name); }

auto HasLines(size_t count) {
  return [count](const LogLines& lines) { return lines.size() >= count; };
}

class UpdateOfTheProgram : public TokenProgram {
 protected:
  void TearDown() override {
    TokenProgram::TearDown();
    testing::RegisterBrowser(L"");
    testing::RemoveFromAllStores({&in40_, &in50_, &user_});
  }

  const testing::UpdateSite site_;
  const testing::SettingsValue updateUrl_{L"UpdateUrl", site_.Folder()};
  const testing::TemporaryFolder temp_{ExecutableFolder() + L"update e2e " + std::to_wstring(::GetCurrentProcessId())};
  testing::StandinLog log_{temp_.Path() + L"\\standin.log"};
  const CertBytes in40_ = testing::LoadTestCertificate("expires_in_40");
  const CertBytes in50_ = testing::LoadTestCertificate("expires_in_50");
  const CertBytes user_ = testing::LoadTestCertificate("user_sign");
};

TEST_F(UpdateOfTheProgram, TheConfigurationSetsTheWarningWindowAndOpensThePage) {
  // It stays up a little after the page: a folder of its own, not removed.
  const std::wstring folder = ExecutableFolder() + L"update browser";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring browser = folder + L"\\iexplore.exe";
  ASSERT_TRUE(testing::CopyStandin(browser));
  testing::RegisterBrowser(browser);
  site_.Put("Config.ini", "ID01=45\r\nID02=https://info.example/token page\r\nID03=0\r\n");
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("insert --slot 1" + Cert("expires_in_40"));
  const HWND expiry = WaitForWindow(program.Id(), kExpiryCaption, L"#32770", 20s);
  EXPECT_NE(expiry, nullptr) << "45 days: a certificate that expires in 40 is expiring";
  ::PostMessageW(expiry, WM_COMMAND, IDOK, 0);
  const LogLines page = {"iexplore.exe", "no mutex", "1", "https://info.example/token page"};
  EXPECT_EQ(log_.LinesOnce(HasLines(page.size())), page);

  Sim("remove --slot 1");
  Sim("insert --slot 1" + Cert("expires_in_50"));
  // The page opens once the expiry dialog is closed: opened without it, none was shown.
  LogLines twice = page;
  twice.insert(twice.end(), page.begin(), page.end());
  EXPECT_EQ(log_.LinesOnce(HasLines(twice.size())), twice);
}

// 3.0.10 comes after 3.0.9 by its numbers, though not as text.
TEST_F(UpdateOfTheProgram, ANewerOfferRunsTheSignedInstallerAndLeavesNothing) {
  const testing::SettingsValue installed(L"Version", L"3.0.9");
  site_.Offer("3.0.10", Installer::kSigned);
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("insert --slot 1" + Cert("user_sign"));
  const LogLines ran = testing::InstallerRunLog("hidden");
  EXPECT_EQ(log_.LinesOnce(HasLines(ran.size())), ran);
  // Config.ini is asked for once the update run, clean-up included, is over.
  const std::vector<std::string> requests = {"version.ini 200", "tessard-setup.exe 200", "Config.ini 404"};
  EXPECT_TRUE(PollUntil(10s, [this, &requests] { return site_.Requests() == requests; })) << site_.Requests().size();
  EXPECT_TRUE(temp_.WorkFolders().empty());
}

// Offers no installer of which may run: each insertion's run ends with the configuration asked
// for, and nothing was started.
TEST_F(UpdateOfTheProgram, NoImpostorNoRollbackAndNoOlderVersionRuns) {
  testing::TrustImpostorForUser();
  struct Offer {
    const wchar_t* installed;
    const char* offered;
    Installer installer;
    const char* builtAs;
    bool fetched;
  };
  // The publisher's name with another key, whose root the user trusts; the publisher's 2.0.0
  // offered as 99.0.1; 9.0.0 over 10.0.0, which is not even fetched.
  const Offer offers[] = {{L"3.0.0", "3.0.1", Installer::kImpostor, "3.0.1", true},
                          {L"3.0.0", "99.0.1", Installer::kSigned, "2.0.0", true},
                          {L"10.0.0", "9.0.0", Installer::kSigned, "9.0.0", false}};
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  for (const Offer& offer : offers) {
    SCOPED_TRACE(offer.offered);
    const testing::SettingsValue installed(L"Version", offer.installed);
    site_.Offer(offer.offered, offer.installer, offer.builtAs);
    site_.ForgetRequests();
    Sim("insert --slot 1" + Cert("user_sign"));
    // The configuration is asked for once the update run is over.
    std::vector<std::string> requests = {"version.ini 200", "Config.ini 404"};
    if (offer.fetched) requests.insert(requests.begin() + 1, "tessard-setup.exe 200");
    EXPECT_TRUE(PollUntil(10s, [&] { return site_.Requests() == requests; })) << site_.Requests().size();
    Sim("remove --slot 1");
  }
  EXPECT_EQ(log_.Lines(), LogLines{}) << "an installer ran";
  EXPECT_TRUE(temp_.WorkFolders().empty());
}

TEST_F(UpdateOfTheProgram, AnAdministratorTurnsInstallersOff) {
  const testing::SettingsValue installed(L"Version", L"3.0.0");
  testing::TestKey policy(kPolicyKeyPath);
  policy.SetNumber(L"InstallUpdates", 0);
  site_.Offer("3.0.1", Installer::kSigned);
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("insert --slot 1" + Cert("user_sign"));
  EXPECT_TRUE(PollUntil(10s, [this] { return site_.Requests() == std::vector<std::string>{"Config.ini 404"}; }))
      << site_.Requests().size() << ": the configuration alone is asked for";
}

}  // namespace
}  // namespace tessard::e2e
