// The update agent against the loopback HTTPS server of the "wine" fixture: the configuration
// check, whole downloads only, and an installer run only when it is newer, signed by our
// publisher and held until it ran.

#include "update/update.h"

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <wininet.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "platform/system_calls.h"
#include "tests/win/standin_log.h"
#include "tests/win/tokensim_driver.h"
#include "tests/win/update_site.h"
#include "token/product_info.h"
#include "update/installer_trust.h"

namespace tessard::testing {
namespace {

constexpr char kConfig[] = "ID01=45\r\nID02=https://info.example/token page\r\nID03=0\r\n";
constexpr wchar_t kPage[] = L"https://info.example/token page";
constexpr wchar_t kKeptPage[] = L"https://kept.example/";
constexpr wchar_t kInstallMutex[] = L"Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex";
constexpr DWORD kMutexProbePauseMs = 2000;

using Requests = std::vector<std::string>;

std::wstring OwnFolder(const wchar_t* purpose) {
  return ExecutableFolder() + purpose + std::to_wstring(::GetCurrentProcessId());
}

BOOL Offline(DWORD* flags) {
  *flags = 0;
  return FALSE;
}

BOOL WorkingOffline(DWORD* flags) {
  *flags = INTERNET_CONNECTION_OFFLINE;
  return TRUE;
}

class UpdateConfigFetch : public ::testing::Test {
 protected:
  void Fetch() { EXPECT_TRUE(FetchUpdateConfig(site_.Folder(), 1, days_, url_)); }

  UpdateSite site_;
  int days_ = 0;
  std::wstring url_ = kKeptPage;
};

TEST_F(UpdateConfigFetch, TakesTheDaysAndOnlyAWebPage) {
  site_.Put("Config.ini", kConfig);
  Fetch();
  EXPECT_EQ(days_, 45);
  EXPECT_EQ(url_, kPage);
  site_.Put("Config.ini", "ID01=12\r\nID02=javascript:alert(1)\r\nID03=0\r\n");
  Fetch();
  EXPECT_EQ(days_, 12);
  EXPECT_EQ(url_, kPage) << "a script address would reach the browser";
  EXPECT_EQ(site_.Requests(), (Requests{"Config.ini 200", "Config.ini 200"}));
}

TEST_F(UpdateConfigFetch, WithoutTheConfigurationThirtyDaysAndThePageKept) {
  site_.Put("Config.ini", kConfig);
  {
    const auto offline = ConnectedState.Replace(&Offline);
    days_ = 45;
    Fetch();
    EXPECT_EQ(days_, 30);
  }
  EXPECT_EQ(site_.Requests(), Requests{}) << "the server was asked while offline";
  for (const char* answer : {"404", "500"}) {
    site_.Answer("Config.ini", answer);
    days_ = 45;
    Fetch();
    EXPECT_EQ(days_, 30) << answer;
  }
  EXPECT_EQ(url_, kKeptPage);
}

TEST_F(UpdateConfigFetch, OnlyTheFirst1024BytesAreRead) {
  site_.Put("Config.ini", "ID01=45\r\n" + std::string(1100, ' ') + "\r\nID02=https://late.example/\r\nID03=0\r\n");
  Fetch();
  EXPECT_EQ(days_, 30) << "ID02= lies beyond what is read";
  EXPECT_EQ(url_, kKeptPage);
}

class Download : public ::testing::Test {
 protected:
  std::wstring Address(const std::string& name) const {
    return site_.Folder() + std::wstring(name.begin(), name.end());
  }

  UpdateSite site_;
  TemporaryFolder temp_{OwnFolder(L"download ")};
  const std::wstring target_ = temp_.Path() + L"\\target.bin";
};

TEST_F(Download, OnlyAWhole200Counts) {
  // Longer than one read, so that the body comes in several.
  std::string body;
  for (int i = 0; body.size() < 30000; ++i) body += std::to_string(i) + ",";
  site_.Put("file.bin", body);
  EXPECT_EQ(DownloadFile(Address("file.bin"), target_, body.size()), 1);
  EXPECT_EQ(ReadAll(target_), body);
  ::DeleteFileW(target_.c_str());
  EXPECT_EQ(DownloadFile(Address("file.bin"), target_, body.size() - 1), 0) << "larger than taken";
  EXPECT_FALSE(PathExists(target_));
  for (const char* answer : {"404", "500", "short"}) {
    site_.Answer("file.bin", answer);
    EXPECT_EQ(DownloadFile(Address("file.bin"), target_, body.size()), 0) << answer;
    EXPECT_FALSE(PathExists(target_)) << answer;
  }
}

TEST(InstalledVersion, WithoutTheSettingsKeyIsEmpty) {
  EXPECT_EQ(ReadInstalledVersion(L"Software\\Tessard tests\\no such key"), std::wstring());
}

TEST(HeldInstaller, CanBeReadButNeitherChangedNorDeleted) {
  const TemporaryFolder temp(OwnFolder(L"held "));
  const std::wstring path = temp.Path() + L"\\installer.exe";
  ASSERT_TRUE(CopyStandin(path));
  const UniqueFileHandle held = HoldFile(path);
  ASSERT_TRUE(held);
  const DWORD anySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  EXPECT_TRUE(
      UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, anySharing, nullptr, OPEN_EXISTING, 0, nullptr)));
  EXPECT_FALSE(
      UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, anySharing, nullptr, OPEN_EXISTING, 0, nullptr)));
  EXPECT_FALSE(::DeleteFileW(path.c_str()));
}

// The pauses between looks at the install mutex; the mutex the test holds goes after the
// second.
struct MutexProbes {
  UniqueHandle mutex;
  std::vector<DWORD> pauses;
  size_t requestsMeanwhile = 0;
  const UpdateSite* site = nullptr;
} probes;

void PauseAndReleaseAfterTwo(DWORD milliseconds) {
  probes.pauses.push_back(milliseconds);
  probes.requestsMeanwhile += probes.site->Requests().size();
  if (probes.pauses.size() == 2) probes.mutex.reset();
}

class Update : public ::testing::Test {
 protected:
  // The one folder a run works in; empty when there is none, or more than one.
  std::wstring WorkFolder() const {
    const std::vector<std::wstring> folders = temp_.WorkFolders();
    return folders.size() == 1 ? folders[0] : std::wstring();
  }
  bool NothingLeft() const { return temp_.WorkFolders().empty(); }

  UpdateSite site_;
  const SettingsValue installed_{L"Version", L"3.0.0"};
  const TemporaryFolder temp_{OwnFolder(L"update ")};
  StandinLog log_{temp_.Path() + L"\\standin.log"};
};

TEST_F(Update, ANewerOfferIsDownloadedIntoTheWorkFolderRunWaitedForAndRemoved) {
  site_.Offer("3.0.1", Installer::kSigned);
  site_.Answer(kOfferedInstaller, "stall");
  std::thread run([this] { RunUpdate(site_.Folder()); });
  // While the installer's body is held back, both downloads lie in the run's own folder.
  EXPECT_TRUE(WaitUntil([this] { return PathExists(WorkFolder() + L"\\orvane-ca_installer.exe"); }));
  EXPECT_TRUE(PathExists(WorkFolder() + L"\\version.ini"));
  site_.Release(kOfferedInstaller);
  run.join();
  // The installer logs before it ends, so RunUpdate has waited for it when its log is there.
  EXPECT_EQ(log_.Lines(), InstallerRunLog("hidden"));
  EXPECT_EQ(site_.Requests(), (Requests{"version.ini 200", "tessard-setup.exe 200"}));
  EXPECT_TRUE(NothingLeft());
}

TEST_F(Update, AnEqualOrOlderOfferFetchesTheDescriptionOnly) {
  for (const char* version : {"3.0.0", "2.9", "3.1b"}) {
    site_.Offer(version, Installer::kSigned, "3.0.1");
    RunUpdate(site_.Folder());
    EXPECT_TRUE(NothingLeft()) << version;
  }
  EXPECT_EQ(site_.Requests(), (Requests{"version.ini 200", "version.ini 200", "version.ini 200"}));
  EXPECT_EQ(log_.Lines(), LogLines{});
}

TEST_F(Update, AnInstallerNotThePublishersOfTheOfferedVersionNeverRunsAndLeavesNothing) {
  struct Refused {
    const char* name;
    Installer installer;
    const char* builtAs;
  };
  const Refused refused[] = {{"unsigned", Installer::kUnsigned, "3.0.1"},
                             {"tampered", Installer::kTampered, "3.0.1"},
                             {"the publisher's name with a key of its own", Installer::kImpostor, "3.0.1"},
                             {"an older version behind the offer", Installer::kSigned, "2.0.0"}};
  // Each is downloaded whole: the check refuses it, not the download.
  Requests expected;
  for (const Refused& installer : refused) {
    site_.Offer("3.0.1", installer.installer, installer.builtAs);
    RunUpdate(site_.Folder());
    EXPECT_TRUE(NothingLeft()) << installer.name;
    expected.insert(expected.end(), {"version.ini 200", "tessard-setup.exe 200"});
  }
  site_.Answer(kOfferedInstaller, "404");
  RunUpdate(site_.Folder());
  EXPECT_TRUE(NothingLeft()) << "404";
  expected.insert(expected.end(), {"version.ini 200", "tessard-setup.exe 404"});
  EXPECT_EQ(log_.Lines(), LogLines{});
  EXPECT_EQ(site_.Requests(), expected);
}

TEST_F(Update, WaitsWhileAnInstallationRunsAndGoesOnAfterIt) {
  probes = MutexProbes{};
  probes.mutex.reset(::CreateMutexW(nullptr, FALSE, kInstallMutex));
  ASSERT_TRUE(probes.mutex);
  probes.site = &site_;
  const auto pause = Pause.Replace(&PauseAndReleaseAfterTwo);
  site_.Offer("3.0.1", Installer::kSigned);
  RunUpdate(site_.Folder());
  EXPECT_EQ(probes.pauses, (std::vector<DWORD>{kMutexProbePauseMs, kMutexProbePauseMs}));
  EXPECT_EQ(probes.requestsMeanwhile, 0u) << "began while the installation ran";
  EXPECT_EQ(log_.Lines(), InstallerRunLog("hidden"));

  // A mutex that is never let go leaves the run to the next insertion.
  probes = MutexProbes{};
  probes.mutex.reset(::CreateMutexW(nullptr, FALSE, kInstallMutex));
  const auto forEver = Pause.Replace([](DWORD milliseconds) { probes.pauses.push_back(milliseconds); });
  RunUpdate(site_.Folder());
  EXPECT_EQ(probes.pauses.size(), 5u);
  EXPECT_EQ(site_.Requests().size(), 2u) << "the second run fetched anything";
}

// The person said no to the elevation of this version: it is not asked for again, a newer
// one is.
TEST_F(Update, AVersionWhoseElevationWasDeclinedIsNotOfferedAgain) {
  const auto declined = ShellExecuteElevated.Replace([](SHELLEXECUTEINFOW* execute) {
    execute->hProcess = nullptr;
    ::SetLastError(ERROR_CANCELLED);
    return FALSE;
  });
  site_.Offer("3.0.1", Installer::kSigned);
  RunUpdate(site_.Folder());
  RunUpdate(site_.Folder());
  site_.Offer("3.0.10", Installer::kSigned);
  RunUpdate(site_.Folder());
  EXPECT_EQ(site_.Requests(), (Requests{"version.ini 200", "tessard-setup.exe 200", "version.ini 200",
                                        "version.ini 200", "tessard-setup.exe 200"}));
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserKeyPath, L"DeclinedUpdate");
}

// The installer the program waits for asks it to end before it replaces its files: the run
// stops waiting, leaves the request queued for the program, and its files to the next run.
TEST_F(Update, AskedToEndItStopsWaitingAndLeavesTheInstallerToTheNextRun) {
  constexpr UINT kEndingMessage = WM_APP + 7;
  constexpr EndingRequest kEnding{kEndingMessage, 1};
  ::PostThreadMessageW(::GetCurrentThreadId(), kEndingMessage, kEnding.wParam, 0);
  probes = MutexProbes{};
  probes.mutex.reset(::CreateMutexW(nullptr, FALSE, kInstallMutex));
  probes.site = &site_;
  const auto pause = Pause.Replace(&PauseAndReleaseAfterTwo);
  site_.Offer("3.0.1", Installer::kSigned);
  RunUpdate(site_.Folder(), kEnding);
  EXPECT_EQ(probes.pauses.size(), 0u) << "the wait for the installation outlived the program's end";
  EXPECT_EQ(site_.Requests(), Requests{});

  probes.mutex.reset();
  RunUpdate(site_.Folder(), kEnding);
  // Started as always; whether its file is still held depends on how soon the program ends.
  LogLines ran = log_.LinesOnce([](const LogLines& lines) { return !lines.empty(); });
  ran.pop_back();
  LogLines started = InstallerRunLog("hidden");
  started.pop_back();
  EXPECT_EQ(ran, started);
  EXPECT_TRUE(PathExists(WorkFolder() + L"\\orvane-ca_installer.exe")) << "taken from the installer still running";
  MSG queued;
  EXPECT_TRUE(::PeekMessageW(&queued, nullptr, kEndingMessage, kEndingMessage, PM_REMOVE))
      << "the request is the program's to act on";

  site_.Offer("3.0.0", Installer::kSigned, "3.0.1");
  // Once the installer has ended its file can go.
  EXPECT_TRUE(WaitUntil([this] {
    RunUpdate(site_.Folder());
    return NothingLeft();
  })) << "the next run deletes what the ended one left";
}

// A folder's last change, as the file system keeps it for the folder itself.
ULONGLONG LastWriteTime(const std::wstring& folder) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ::GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data);
  return (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

void SetLastWriteTime(const std::wstring& folder, ULONGLONG time) {
  const UniqueFileHandle handle(::CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const FILETIME written = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  ASSERT_TRUE(::SetFileTime(handle.get(), nullptr, nullptr, &written));
}

TEST_F(Update, OfflineOrWorkingOfflineItMakesNothing) {
  site_.Offer("3.0.1", Installer::kSigned);
  // A work folder made and removed again would leave the temporary folder's time changed:
  // set back to a day in 2001, a change cannot keep it.
  constexpr ULONGLONG kLongAgo = 126227808000000000ull;
  SetLastWriteTime(temp_.Path(), kLongAgo);
  for (decltype(ConnectedState)::Function state : {&Offline, &WorkingOffline}) {
    const auto replaced = ConnectedState.Replace(state);
    RunUpdate(site_.Folder());
  }
  EXPECT_EQ(LastWriteTime(temp_.Path()), kLongAgo);
  EXPECT_EQ(site_.Requests(), Requests{});
  EXPECT_EQ(log_.Lines(), LogLines{});
}

}  // namespace
}  // namespace tessard::testing
