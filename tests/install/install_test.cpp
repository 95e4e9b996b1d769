// The installer and the MSI package under Wine, run silently as the update agent and
// administrators run them, into the folder of the token maker's software: what they put in
// place, what they keep of the token maker's and of an administrator's, and what their
// uninstallation leaves; and that what they install is signed.

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which they need.
#include <softpub.h>
#include <wintrust.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/e2e/process_start.h"
#include "tests/e2e/program_under_test.h"
#include "tests/win/tokensim_driver.h"
#include "tests/win/update_site.h"
#include "token/product_info.h"

namespace tessard::e2e {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const wchar_t* kAdministratorsFolder = testing::kUnansweredUpdateFolder;
constexpr wchar_t kInstallMutex[] = L"Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex";

// Runs a command line and gives its exit code; none when it did not start or end in time.
std::optional<DWORD> RunToItsEnd(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  const StartedProcess started = StartProcess(commandLine, startup);
  if (!started || ::WaitForSingleObject(started.process.get(), 60000) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 1;
  ::GetExitCodeProcess(started.process.get(), &code);
  return code;
}

// An installer holds the install mutex until it ends.
bool InstallerRuns() { return static_cast<bool>(UniqueHandle(::OpenMutexW(SYNCHRONIZE, FALSE, kInstallMutex))); }

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

UniqueRegKey OpenKey(const wchar_t* path, REGSAM access = KEY_QUERY_VALUE) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, key.put()) != ERROR_SUCCESS) key.release();
  return key;
}

std::optional<std::wstring> TextValue(const wchar_t* keyPath, const wchar_t* name) {
  UniqueRegKey key = OpenKey(keyPath);
  wchar_t value[512] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (!key ||
      ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return value;
}

std::optional<DWORD> NumberValue(const wchar_t* keyPath, const wchar_t* name) {
  UniqueRegKey key = OpenKey(keyPath);
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  if (!key ||
      ::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::wstring> Setting(const wchar_t* name) { return TextValue(kProductInfo.settingsKeyPath, name); }

// Under Wine, WinVerifyTrust checks that an Authenticode signature is there and, for a program,
// that it matches the file (for an MSI package, tests/install/CMakeLists.txt has osslsigncode
// check that); not its chain to a trusted root, which only Windows confirms.
bool SignatureAccepted(const std::wstring& path) {
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_IGNORE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data) == ERROR_SUCCESS;
}

void SetSetting(const wchar_t* name, const std::wstring& value) {
  UniqueRegKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The uninstallation entries named Tessard: one per installation.
int Installations() {
  UniqueRegKey key = OpenKey(kUninstallKey, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE);
  int count = 0;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (!key || ::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    if (TextValue((std::wstring(kUninstallKey) + L"\\" + name).c_str(), L"DisplayName") == L"Tessard") ++count;
  }
  return count;
}

std::vector<char> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The folder of the token maker's software, as its own installer left it: its module, its
// manager and the settings key naming the folder; and values an administrator set.
class Installation : public ::testing::Test {
 protected:
  void SetUp() override {
    EndRunningInstance();
    testing::UseOwnSimulatorWorld();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::copy_file(ExecutableFolder() + L"tokensim.dll", folder_ / L"Orvane-CAv3.dll");
    fs::copy_file(ExecutableFolder() + L"standin.exe", folder_ / L"orvane-ca_mgr.exe");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath);
    SetSetting(L"Path", folder_.wstring());
    SetSetting(L"InstallLanguageId", L"1033");
    SetSetting(L"UpdateUrl", kAdministratorsFolder);
    log_ = ExecutableFolder() + L"install-standin.log";
    fs::remove(log_);
    ::SetEnvironmentVariableW(L"STANDIN_LOG", log_.c_str());
  }
  void TearDown() override {
    EndRunningInstance();
    // What an installation a test leaves in place would show to the next test.
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallKey) + L"\\Tessard").c_str());
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Tessard");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath);
    fs::remove_all(folder_);
  }

  std::vector<std::string> StandInLog() const {
    std::ifstream in{fs::path(log_)};
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // What the token maker and the administrator set is as they left it.
  void ExpectTheirsKept() {
    EXPECT_EQ(Setting(L"Path"), folder_.wstring());
    EXPECT_EQ(Setting(L"InstallLanguageId"), L"1033");
    EXPECT_EQ(Setting(L"UpdateUrl"), kAdministratorsFolder);
    EXPECT_TRUE(fs::exists(folder_ / L"Orvane-CAv3.dll"));
    EXPECT_TRUE(fs::exists(folder_ / L"orvane-ca_mgr.exe"));
  }

  void ExpectInstalled(const std::wstring& version) {
    EXPECT_EQ(Bytes(folder_ / L"tessard.exe"), Bytes(std::wstring(TESSARD_PACKAGES) + L"/stage/tessard.exe"));
    EXPECT_TRUE(fs::exists(folder_ / L"lang" / L"zxtokd_1033.lng"));
    EXPECT_TRUE(fs::exists(folder_ / L"lang" / L"zxtokd_1066.lng"));
    EXPECT_EQ(Setting(L"Version"), version);
    EXPECT_EQ(NumberValue(kProductInfo.settingsKeyPath, L"NonCache"), 0u);
    EXPECT_EQ(TextValue(kRunKey, L"Tessard"), Quoted((folder_ / L"tessard.exe").wstring()))
        << "Tessard starts at every logon, its path quoted";
    ExpectTheirsKept();
  }

  // Nothing of ours is left, and nothing of theirs is gone.
  void ExpectUninstalled() {
    EXPECT_FALSE(fs::exists(folder_ / L"tessard.exe"));
    EXPECT_FALSE(fs::exists(folder_ / L"lang"));
    EXPECT_FALSE(TextValue(kRunKey, L"Tessard"));
    EXPECT_FALSE(Setting(L"Version"));
    EXPECT_FALSE(NumberValue(kProductInfo.settingsKeyPath, L"NonCache"));
    EXPECT_FALSE(NumberValue(kProductInfo.settingsKeyPath, L"InstallUpdates"));
    EXPECT_EQ(Installations(), 0);
    ExpectTheirsKept();
  }

  // The installed program, running, with the token maker's module beside it.
  Program StartInstalled() {
    Program program(L"", (folder_ / L"tessard.exe").wstring(), folder_.wstring());
    EXPECT_NE(WaitForWindow(program.Id(), SettingsKeyLeaf(), L"#32770", 10s), nullptr);
    return program;
  }

  const fs::path folder_ = L"C:\\Token Software";
  std::wstring log_;
};

TEST_F(Installation, TheInstallerEndsTheRunningProgramUnderItsMutexAndKeepsWhatOthersSet) {
  // Where an earlier Tessard was: the installer asks it to end with "-t" first.
  fs::copy_file(ExecutableFolder() + L"standin.exe", folder_ / L"tessard.exe");
  // A setting the program would not take stops the installer before it changes anything.
  EXPECT_EQ(RunToItsEnd(Quoted(TESSARD_INSTALLER) + L" /S /INSTALLUPDATES=no"), 2u);
  EXPECT_EQ(RunToItsEnd(Quoted(TESSARD_INSTALLER) +
                        L" /S /LANG=1066 /UPDATEURL=\"https://localhost/elsewhere/\" /INSTALLUPDATES=0"),
            0u);
  EXPECT_EQ(StandInLog(), (std::vector<std::string>{"tessard.exe", "mutex", "1", "-t"}))
      << "the running program was not asked to end, or the install mutex was not held";
  ExpectInstalled(L"3.0.0");
  EXPECT_EQ(NumberValue(kProductInfo.settingsKeyPath, L"InstallUpdates"), 0u);
  EXPECT_EQ(Installations(), 1);
}

TEST_F(Installation, TheSignedUninstallerEndsTheSignedProgramAndTakesOnlyWhatItPut) {
  ASSERT_EQ(RunToItsEnd(Quoted(TESSARD_INSTALLER) + L" /S /INSTALLUPDATES=1"), 0u);
  EXPECT_TRUE(SignatureAccepted((folder_ / L"tessard.exe").wstring()));
  EXPECT_TRUE(SignatureAccepted((folder_ / L"tessard-uninstall.exe").wstring()));
  Program program = StartInstalled();
  ASSERT_EQ(RunToItsEnd(Quoted((folder_ / L"tessard-uninstall.exe").wstring()) + L" /S"), 0u);
  // The uninstaller runs on from a copy of itself; its last step takes out its entry.
  EXPECT_TRUE(PollUntil(30s, [] { return Installations() == 0; }));
  EXPECT_TRUE(program.WaitForExit(10s)) << "the running program outlived its uninstallation";
  EXPECT_TRUE(PollUntil(10s, [this] { return !fs::exists(folder_ / L"tessard-uninstall.exe"); }));
  ExpectUninstalled();
}

TEST_F(Installation, TheSignedMsiPackageInstallsUpgradesInPlaceAndUninstalls) {
  EXPECT_TRUE(SignatureAccepted(TESSARD_MSI));
  // The program would not take such an update folder; the package refuses it outright.
  EXPECT_EQ(RunToItsEnd(L"msiexec /i " + Quoted(TESSARD_EARLIER_MSI) + L" /qn UPDATEURL=http://localhost/"),
            static_cast<DWORD>(ERROR_INSTALL_FAILURE));
  // The administrator's update folder stays; the setting for updates, absent, is written.
  ASSERT_EQ(RunToItsEnd(L"msiexec /i " + Quoted(TESSARD_EARLIER_MSI) +
                        L" /qn LANGUAGE=1066 UPDATEURL=https://localhost/elsewhere/ INSTALLUPDATES=0"),
            0u);
  EXPECT_EQ(Setting(L"Version"), L"2.9.0");
  ASSERT_EQ(RunToItsEnd(L"msiexec /i " + Quoted(TESSARD_MSI) + L" /qn"), 0u);
  ExpectInstalled(L"3.0.0");
  EXPECT_EQ(NumberValue(kProductInfo.settingsKeyPath, L"InstallUpdates"), 0u) << "the upgrade did not keep it";
  EXPECT_EQ(Installations(), 1) << "the upgrade left the earlier package installed";
  Program program = StartInstalled();
  ASSERT_EQ(RunToItsEnd(L"msiexec /x " + Quoted(TESSARD_MSI) + L" /qn"), 0u);
  EXPECT_TRUE(program.WaitForExit(10s)) << "the running program outlived its uninstallation";
  ExpectUninstalled();
}

TEST_F(Installation, TheUpdateAgentRunsTheNewerSignedInstallerThatReplacesTheProgram) {
  ASSERT_EQ(RunToItsEnd(Quoted(TESSARD_INSTALLER) + L" /S"), 0u);
  const testing::UpdateSite site;
  SetSetting(L"UpdateUrl", site.Folder());
  site.Offer("9.0.0", TESSARD_LATER_INSTALLER);
  Program program = StartInstalled();
  testing::Sim(tokensim::Insert({.slot = 1}));
  // Started hidden by the agent, the installer installs silently and ends the program first.
  EXPECT_TRUE(PollUntil(60s, [] { return Setting(L"Version") == L"9.0.0"; })) << Setting(L"Version").value_or(L"none");
  EXPECT_TRUE(program.WaitForExit(10s)) << "the installer did not end the running program";
  // It goes on writing after the version; what it writes then must not outlive the test.
  EXPECT_TRUE(PollUntil(30s, [] { return !InstallerRuns(); }));
  EXPECT_EQ(Installations(), 1) << "the update installed beside the earlier installation";
}

}  // namespace
}  // namespace tessard::e2e
