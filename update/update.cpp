#include "update/update.h"

// After <windows.h>, which they need.
#include <objbase.h>
#include <shellapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/system_calls.h"
#include "platform/system_version.h"
#include "platform/text_convert.h"
#include "platform/trace.h"
#include "update/installer_trust.h"
#include "update/publisher_pins.h"
#include "update/update_rules.h"

namespace tessard {

namespace {

using UniqueInternetHandle = UniqueResource<HINTERNET, &::InternetCloseHandle>;

constexpr wchar_t kConfigAgent[] = L"GetCheckAgent";
constexpr wchar_t kDownloadAgent[] = L"Orvane-CA-DownLoadAgent";
constexpr wchar_t kInstallMutex[] = L"Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex";
constexpr wchar_t kSetupSection[] = L"Orvane-CA_Setup";
constexpr wchar_t kWorkFolderPrefix[] = L"Tessard-update-";
constexpr wchar_t kDescriptionFile[] = L"version.ini";
constexpr wchar_t kInstallerFile[] = L"orvane-ca_installer.exe";
constexpr wchar_t kDeclinedValue[] = L"DeclinedUpdate";
constexpr DWORD kInstallMutexProbeMs = 2000;
// An installation that holds its mutex longer, or a program that holds it for ever, leaves
// the check to the next insertion rather than holding up the window thread.
constexpr int kInstallMutexProbes = 5;
constexpr DWORD kCanonicalCapacity = 1024;
constexpr DWORD kDownloadChunk = 10240;
constexpr DWORD kPathCapacity = 260;
constexpr DWORD kVersionBytes = 260;
constexpr DWORD kHttpOk = 200;
constexpr std::uint64_t kLargestDescription = 64 * 1024;
constexpr std::uint64_t kLargestInstaller = 256ull * 1024 * 1024;
// The agent runs on the window thread: a server that stops answering may hold it up this long
// at each step of a request, not for ever.
constexpr DWORD kNetworkStepLimitMs = 15000;

UniqueInternetHandle OpenInternet(const wchar_t* agent) {
  UniqueInternetHandle internet(::InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  for (DWORD option :
       {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    DWORD limit = kNetworkStepLimitMs;
    if (internet) ::InternetSetOptionW(internet.get(), option, &limit, sizeof limit);
  }
  return internet;
}

std::optional<DWORD> QueryNumber(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!::HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) return std::nullopt;
  return value;
}

// Where a request ended up after the redirects the server gave.
std::wstring FinalAddress(HINTERNET request) {
  wchar_t address[kCanonicalCapacity] = {};
  DWORD size = sizeof address;
  if (!::InternetQueryOptionW(request, INTERNET_OPTION_URL, address, &size)) return {};
  return address;
}

// A request answered 200 at an https address, redirects included; traced and none otherwise.
UniqueInternetHandle OpenAnswered(HINTERNET internet, const std::wstring& url, DWORD flags) {
  UniqueInternetHandle request(OpenUrl(internet, url.c_str(), flags));
  if (!request) {
    Trace(url + L" could not be fetched: " + HexCode(::GetLastError()));
    return request;
  }
  if (!IsHttpsAddress(FinalAddress(request.get()))) {
    Trace(url + L" is refused: it was redirected to " + FinalAddress(request.get()));
    request.reset();
  } else if (const std::optional<DWORD> status = QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE);
             status != kHttpOk) {
    // Only the file itself counts: an error page taken for it would be parsed, or run.
    Trace(url + L" is refused: the server answered " + std::to_wstring(status.value_or(0)));
    request.reset();
  }
  return request;
}

bool InstallationRuns() {
  UniqueHandle mutex(::OpenMutexW(READ_CONTROL, FALSE, kInstallMutex));
  return static_cast<bool>(mutex);
}

std::wstring ProfileString(const std::wstring& file, const wchar_t* key) {
  wchar_t value[kPathCapacity] = {};
  ::GetPrivateProfileStringW(kSetupSection, key, L"", value, kPathCapacity, file.c_str());
  return value;
}

// The user's temporary folder with its final backslash; none when the system gives none.
std::optional<std::wstring> TemporaryFolder() {
  wchar_t temp[kPathCapacity] = {};
  const DWORD length = ::GetTempPathW(kPathCapacity, temp);
  if (length == 0 || length >= kPathCapacity) return std::nullopt;
  std::wstring folder(temp, length);
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

void DeleteFilesOfRun(const std::wstring& folder) {
  for (const wchar_t* name : {kDescriptionFile, kInstallerFile}) ::DeleteFileW((folder + L"\\" + name).c_str());
}

// A folder of its own for one run, made fresh under the user's temporary folder and removed
// with what the run put in it, unless the installer started from it runs on.
class WorkFolder {
 public:
  WorkFolder() = default;
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  ~WorkFolder() {
    if (path_.empty() || kept_) return;
    DeleteFilesOfRun(path_);
    ::RemoveDirectoryW(path_.c_str());
  }

  // False when no folder could be made where nothing else is, or the one made is a link.
  bool Make(const std::wstring& temporaryFolder) {
    const std::wstring base = temporaryFolder + kWorkFolderPrefix + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(::GetTickCount64());
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::wstring candidate = base + L"-" + std::to_wstring(attempt);
      if (!::CreateDirectoryW(candidate.c_str(), nullptr)) {
        if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
        break;
      }
      path_ = candidate;
      if ((::GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
      Trace(L"the work folder " + path_ + L" is a link and is not used");
      return false;
    }
    Trace(L"no work folder could be made under " + temporaryFolder + L": " + HexCode(::GetLastError()));
    return false;
  }
  std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }
  void Keep() { kept_ = true; }

 private:
  std::wstring path_;
  bool kept_ = false;
};

// What earlier runs left: the folders of runs whose installer still ran when they ended.
void RemoveEarlierWorkFolders(const std::wstring& temporaryFolder) {
  WIN32_FIND_DATAW found{};
  const UniqueResource<HANDLE, &::FindClose, -1> search(
      ::FindFirstFileW((temporaryFolder + kWorkFolderPrefix + L"*").c_str(), &found));
  if (!search) return;
  do {
    const DWORD attributes = found.dwFileAttributes;
    // Only folders, never through a link: only what a run made is taken away.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    const std::wstring folder = temporaryFolder + found.cFileName;
    DeleteFilesOfRun(folder);
    ::RemoveDirectoryW(folder.c_str());
  } while (::FindNextFileW(search.get(), &found));
}

class ComInitialisation {
 public:
  ComInitialisation() : initialised_(SUCCEEDED(::CoInitialize(nullptr))) {}
  ~ComInitialisation() {
    if (initialised_) ::CoUninitialize();
  }
  ComInitialisation(const ComInitialisation&) = delete;
  ComInitialisation& operator=(const ComInitialisation&) = delete;

 private:
  bool initialised_;
};

// Looked for, not taken, and without handling sent messages: the caller is in the middle of
// its own work.
bool EndingRequested(const EndingRequest& ending) {
  MSG queued;
  return ending.message != 0 &&
         ::PeekMessageW(&queued, nullptr, ending.message, ending.message, PM_NOREMOVE | PM_QS_POSTMESSAGE) &&
         queued.wParam == ending.wParam;
}

// Waits for `object` (none: for the time alone); false when the program was asked to end
// first. Each look at the queue marks what is there as seen, so only a newer message wakes
// the wait again.
bool WaitUnlessEnding(HANDLE object, DWORD milliseconds, const EndingRequest& ending) {
  const DWORD count = object != nullptr ? 1 : 0;
  const ULONGLONG start = ::GetTickCount64();
  const DWORD wake = ending.message != 0 ? QS_POSTMESSAGE : 0;
  while (!EndingRequested(ending)) {
    DWORD left = milliseconds;
    if (milliseconds != INFINITE) {
      const ULONGLONG passed = ::GetTickCount64() - start;
      if (passed >= milliseconds) return true;
      left = static_cast<DWORD>(milliseconds - passed);
    }
    if (::MsgWaitForMultipleObjects(count, &object, FALSE, left, wake) != WAIT_OBJECT_0 + count) return true;
  }
  return false;
}

// On Windows XP: started as the application itself, so that a folder with a space in its path
// cannot make another program of the command line.
void RunAndWait(const std::wstring& installer, const EndingRequest& ending) {
  std::wstring commandLine = L"\"" + installer + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(installer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
    Trace(L"the installer " + installer + L" did not start: " + HexCode(::GetLastError()));
    return;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  WaitUnlessEnding(process.get(), INFINITE, ending);
}

const wchar_t* WhyRefused(InstallerVerdict verdict) {
  switch (verdict) {
    case InstallerVerdict::Trusted:
      return L"";
    case InstallerVerdict::SignatureRefused:
      return L"its signature is not accepted";
    case InstallerVerdict::KeyNotPinned:
      return L"it is not signed with a key of the publisher";
    case InstallerVerdict::RootNotTheMachines:
      return L"its chain does not end in a root of the machine's own store";
    case InstallerVerdict::NotTheOfferedVersion:
      return L"its version is not the one offered";
  }
  return L"";
}

std::optional<std::wstring> DeclinedVersion() {
  const UniqueRegKey key = OpenRegistryKey(HKEY_CURRENT_USER, kUserKeyPath, KEY_QUERY_VALUE);
  return key ? ReadRegistryText(key.get(), kDeclinedValue) : std::nullopt;
}

// The person said no to this version's elevation: it is not asked for again, a newer one is.
void RememberDeclined(const std::wstring& version) {
  if (!WriteRegistryText(HKEY_CURRENT_USER, kUserKeyPath, kDeclinedValue, version)) {
    Trace(L"the declined update " + version + L" could not be remembered");
  }
}

// Runs the installer only when it is ours and the version offered.
void LaunchVerified(const std::wstring& installer, const std::wstring& offered, const EndingRequest& ending) {
  const UniqueFileHandle held = HoldFile(installer);
  if (!held) return;
  const InstallerVerdict verdict =
      JudgeInstaller(ExamineInstaller(held.get(), installer), kPublisherPins, ToNarrow(offered, kCodePageAnsi));
  if (verdict != InstallerVerdict::Trusted) {
    Trace(L"the installer of " + offered + L" is refused: " + WhyRefused(verdict));
    return;
  }
  if (!IsNt6OrLater()) {
    RunAndWait(installer, ending);
  } else if (RunElevated(nullptr, installer.c_str(), nullptr, nullptr, ending) == Elevation::Declined) {
    RememberDeclined(offered);
  }
}

}  // namespace

std::wstring UpdateFolderOf(const std::optional<std::wstring>& updateUrl) {
  if (updateUrl && IsUsableUpdateFolder(*updateUrl)) return *updateUrl;
  return TESSARD_UPDATE_FOLDER;
}

bool FetchUpdateConfig(const std::wstring& folder, unsigned long, int& warnDays, std::wstring& url) {
  warnDays = kDefaultWarnDays;
  const UniqueInternetHandle root = OpenInternet(kConfigAgent);
  DWORD connection = 0;
  if (!root || !ConnectedState(&connection)) return true;
  // An address that does not fit leaves the buffer empty, and the request then fails.
  wchar_t canonical[kCanonicalCapacity] = {};
  DWORD length = kCanonicalCapacity;
  ::InternetCanonicalizeUrlW((folder + L"Config.ini").c_str(), canonical, &length, ICU_BROWSER_MODE);
  const UniqueInternetHandle request = OpenAnswered(
      root.get(), canonical,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NEED_FILE);
  if (!request) return true;
  char text[kConfigReadLimit + 1] = {};
  DWORD read = 0;
  if (!::InternetReadFile(request.get(), text, kConfigReadLimit, &read) || read == 0) return true;
  const UpdateConfig config = ParseUpdateConfig(std::string_view(text, ::strnlen(text, read)));
  warnDays = config.warnDays;
  if (config.pageAddress) {
    const std::wstring page = ToWide(*config.pageAddress, kCodePageAnsi);
    if (IsWebAddress(page)) url = page;
  }
  return true;
}

int DownloadFile(const std::wstring& url, const std::wstring& path, std::uint64_t largest) {
  const UniqueInternetHandle root = OpenInternet(kDownloadAgent);
  if (!root) return 0;
  const UniqueInternetHandle request = OpenAnswered(root.get(), url, INTERNET_FLAG_RELOAD);
  if (!request) return 0;
  const std::optional<DWORD> announced = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH);
  bool whole = false;
  {
    // Made new: nothing that lay there before, a link say, is written through.
    const UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    std::vector<char> chunk(kDownloadChunk);
    std::uint64_t total = 0;
    for (;;) {
      DWORD read = 0;
      if (!::InternetReadFile(request.get(), chunk.data(), kDownloadChunk, &read)) break;
      if (read == 0) {
        whole = !announced || total == *announced;
        break;
      }
      total += read;
      DWORD written = 0;
      if (total > largest || !::WriteFile(file.get(), chunk.data(), read, &written, nullptr) || written != read) break;
    }
  }
  if (!whole) {
    Trace(url + L" is refused: it did not arrive whole, or is larger than taken");
    ::DeleteFileW(path.c_str());
  }
  return whole ? 1 : 0;
}

std::optional<std::wstring> ReadInstalledVersion(const wchar_t* keyPath) {
  const UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE);
  // A missing installation counts as the empty version.
  if (!key) return std::wstring();
  wchar_t version[kVersionBytes / sizeof(wchar_t) + 1] = {};
  DWORD size = kVersionBytes;
  if (::RegQueryValueExW(key.get(), L"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(version);
}

Elevation RunElevated(HWND window, const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
                      EndingRequest ending) {
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS;
  execute.hwnd = window;
  execute.lpVerb = L"runas";
  execute.lpFile = file;
  execute.lpParameters = parameters;
  execute.lpDirectory = directory;
  execute.nShow = SW_HIDE;
  const BOOL started = ShellExecuteElevated(&execute);
  const DWORD error = started ? ERROR_SUCCESS : ::GetLastError();
  // Nothing was started when the launch failed or the elevation was refused.
  const UniqueHandle process(execute.hProcess);
  if (process) WaitUnlessEnding(process.get(), INFINITE, ending);
  if (started) return Elevation::Started;
  Trace(std::wstring(L"the elevated start of ") + file + L" failed: " + HexCode(error));
  return error == ERROR_CANCELLED ? Elevation::Declined : Elevation::Failed;
}

UpdateRun RunUpdate(const std::wstring& folder, EndingRequest ending) {
  for (int probes = 0; InstallationRuns(); ++probes) {
    // That installation asks the program to end before it replaces its files.
    if (EndingRequested(ending)) return UpdateRun::Stopped;
    if (probes == kInstallMutexProbes) {
      Trace(L"an installation holds its mutex: the update check is left to the next insertion");
      return UpdateRun::Done;
    }
    Pause(kInstallMutexProbeMs);
  }
  DWORD connection = 0;
  if (!ConnectedState(&connection) || (connection & INTERNET_CONNECTION_OFFLINE) != 0) return UpdateRun::Done;
  const std::optional<std::wstring> temporaryFolder = TemporaryFolder();
  if (!temporaryFolder) {
    Trace(L"the update check has no temporary folder to work in");
    return UpdateRun::Done;
  }
  const ComInitialisation com;
  RemoveEarlierWorkFolders(*temporaryFolder);
  WorkFolder work;
  if (!work.Make(*temporaryFolder)) return UpdateRun::Done;
  const std::wstring description = work.File(kDescriptionFile);
  const std::wstring descriptionUrl = folder + kDescriptionFile;
  ::DeleteUrlCacheEntryW(descriptionUrl.c_str());
  if (DownloadFile(descriptionUrl, description, kLargestDescription) != 1) return UpdateRun::Done;
  const std::wstring offered = ProfileString(description, L"Version");
  const std::optional<std::wstring> installed = ReadInstalledVersion();
  const std::wstring name = ProfileString(description, L"Name");
  if (!installed || name.empty() ||
      !IsNewerVersion(ToNarrow(*installed, kCodePageAnsi), ToNarrow(offered, kCodePageAnsi))) {
    return UpdateRun::Done;
  }
  if (DeclinedVersion() == offered) return UpdateRun::Done;
  const std::wstring installer = work.File(kInstallerFile);
  const std::wstring installerUrl = folder + name;
  ::DeleteUrlCacheEntryW(installerUrl.c_str());
  if (DownloadFile(installerUrl, installer, kLargestInstaller) == 1) LaunchVerified(installer, offered, ending);
  // The installer runs on and replaces the program: what it was started from stays for it,
  // and the next run deletes it.
  if (EndingRequested(ending)) {
    work.Keep();
    return UpdateRun::Stopped;
  }
  return UpdateRun::Done;
}

}  // namespace tessard
