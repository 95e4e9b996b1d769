// The settings as read from a key of the test's own, and the token manager started from the
// installation folder they name, found by its exact name and ended.

#include "app/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "app/manager.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/standin_log.h"
#include "tests/win/test_key.h"

namespace tessard {
namespace {

constexpr wchar_t kKeyPath[] = L"Software\\Tessard tests\\settings";
constexpr wchar_t kManager[] = L"orvane-ca_mgr.exe";

class SettingsKey : public ::testing::Test {
 protected:
  testing::TestKey key_{kKeyPath};
};

TEST_F(SettingsKey, LanguageAndNonCache) {
  EXPECT_EQ(LanguageIdOf(ReadSettings(kKeyPath)), 1033) << "no value";
  EXPECT_FALSE(NonCacheOf(ReadSettings(kKeyPath)));
  key_.SetText(L"InstallLanguageId", L"1066");
  key_.SetNumber(L"NonCache", 5);
  EXPECT_EQ(LanguageIdOf(ReadSettings(kKeyPath)), 1066);
  EXPECT_TRUE(NonCacheOf(ReadSettings(kKeyPath)));
  key_.SetText(L"InstallLanguageId", L"Vietnamese");
  EXPECT_EQ(LanguageIdOf(ReadSettings(kKeyPath)), 0);
  EXPECT_EQ(LanguageIdOf(ReadSettings(L"Software\\Tessard tests\\absent")), 1033) << "no key";
}

// The stand-in manager in a folder of its own; every one started is ended again.
class Manager : public SettingsKey {
 protected:
  void SetUp() override {
    const std::wstring folder = ExecutableFolder();
    installFolder_ = folder + L"manager folder";
    ::CreateDirectoryW(installFolder_.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW((folder + L"standin.exe").c_str(), (installFolder_ + L"\\" + kManager).c_str(), FALSE));
    log_ = std::make_unique<testing::StandinLog>(folder + L"manager.log");
  }
  void TearDown() override {
    EXPECT_TRUE(testing::PumpUntil([] {
      TerminateManager(kManager);
      return !FindProcessByName(kManager);
    }));
  }

  std::wstring installFolder_;
  std::unique_ptr<testing::StandinLog> log_;
};

TEST_F(Manager, StartedFromThePathWithOrWithoutItsFinalBackslash) {
  EXPECT_FALSE(LaunchManager(ReadSettings(L"Software\\Tessard tests\\absent"), kManager)) << "no key";
  EXPECT_TRUE(LaunchManager(ReadSettings(kKeyPath), kManager)) << "no path: nothing to start";
  key_.SetText(L"Path", installFolder_);
  EXPECT_TRUE(LaunchManager(ReadSettings(kKeyPath), kManager));
  EXPECT_EQ(log_->StartsOnce("orvane-ca_mgr.exe", 1), 1);
  key_.SetText(L"Path", installFolder_ + L"\\");
  EXPECT_TRUE(LaunchManager(ReadSettings(kKeyPath), kManager));
  EXPECT_EQ(log_->StartsOnce("orvane-ca_mgr.exe", 2), 2);
}

TEST_F(Manager, FoundOnlyByItsExactNameAndEnded) {
  key_.SetText(L"Path", installFolder_);
  ASSERT_TRUE(LaunchManager(ReadSettings(kKeyPath), kManager));
  ASSERT_EQ(log_->StartsOnce("orvane-ca_mgr.exe", 1), 1);
  EXPECT_FALSE(FindProcessByName(L"ORVANE-CA_MGR.EXE"));
  EXPECT_FALSE(FindProcessByName(L"Orvane-CA_mgr.exe"));
  EXPECT_FALSE(FindProcessByName(L"orvane-ca_mgr"));
  ASSERT_TRUE(FindProcessByName(kManager));
  TerminateManager(kManager);
  EXPECT_TRUE(testing::PumpUntil([] { return !FindProcessByName(kManager); }));
}

}  // namespace
}  // namespace tessard
