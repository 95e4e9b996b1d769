#include "update/update.h"

// After <windows.h>, which they need.
#include <objbase.h>
#include <shellapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/system_calls.h"
#include "platform/system_version.h"
#include "platform/text_convert.h"
#include "platform/trace.h"
#include "update/installer_trust.h"
#include "update/update_rules.h"

namespace tessard {

namespace {

using UniqueInternetHandle = UniqueResource<HINTERNET, &::InternetCloseHandle>;
using UniqueStdioFile = UniqueResource<FILE*, &std::fclose>;

constexpr wchar_t kConfigAgent[] = L"GetCheckAgent";
constexpr wchar_t kDownloadAgent[] = L"Orvane-CA-DownLoadAgent";
constexpr wchar_t kInstallMutex[] = L"Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex";
constexpr wchar_t kSetupSection[] = L"Orvane-CA_Setup";
constexpr DWORD kInstallMutexProbeMs = 2000;
constexpr DWORD kCanonicalCapacity = 1024;
constexpr DWORD kDownloadChunk = 10240;
constexpr DWORD kPathCapacity = 260;
constexpr DWORD kVersionBytes = 260;
constexpr DWORD kHttpOk = 200;

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

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void DeleteIfThere(const std::wstring& path) {
  if (PathExists(path)) ::DeleteFileW(path.c_str());
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

// The temporary folder followed by "\Orvane-CA": the folder normally ends in a backslash
// already, and the doubled one is accepted by the file system.
std::wstring WorkFolder() {
  wchar_t temp[kPathCapacity] = {};
  ::GetTempPathW(kPathCapacity, temp);
  return std::wstring(temp) + L"\\Orvane-CA";
}

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
    return;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  WaitUnlessEnding(process.get(), INFINITE, ending);
}

// Runs the installer only when it is ours; a refused one is deleted like any other leftover.
void LaunchVerified(const std::wstring& installer, const EndingRequest& ending) {
  const UniqueFileHandle held = HoldFile(installer);
  if (!held || !IsTrustedInstaller(held.get(), installer, TESSARD_INSTALLER_PUBLISHER)) return;
  if (IsNt6OrLater()) {
    RunElevated(nullptr, installer.c_str(), nullptr, nullptr, ending);
  } else {
    RunAndWait(installer, ending);
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
  const UniqueInternetHandle request(
      OpenUrl(root.get(), canonical,
              INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NEED_FILE));
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

int DownloadFile(const std::wstring& url, const std::wstring& path) {
  const UniqueInternetHandle root = OpenInternet(kDownloadAgent);
  if (!root) return 0;
  const UniqueInternetHandle request(OpenUrl(root.get(), url.c_str(), INTERNET_FLAG_RELOAD));
  if (!request) {
    Trace(url + L" could not be fetched: " + HexCode(::GetLastError()));
    return 0;
  }
  // Only the file itself counts: an error page saved as the installer would be run.
  if (const std::optional<DWORD> status = QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE); status != kHttpOk) {
    Trace(url + L" is refused: the server answered " + std::to_wstring(status.value_or(0)));
    return 0;
  }
  const std::optional<DWORD> announced = QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH);
  bool whole = false;
  {
    UniqueStdioFile file(::_wfopen(path.c_str(), L"wb+"));
    if (!file) return 0;
    std::vector<char> chunk(kDownloadChunk + 1);
    DWORD total = 0;
    for (;;) {
      std::fill(chunk.begin(), chunk.end(), '\0');
      DWORD read = 0;
      if (!::InternetReadFile(request.get(), chunk.data(), kDownloadChunk, &read)) break;
      if (read == 0) {
        whole = !announced || total == *announced;
        break;
      }
      if (std::fwrite(chunk.data(), 1, read, file.get()) != read) break;
      total += read;
    }
    whole = std::fclose(file.release()) == 0 && whole;
  }
  if (!whole) {
    Trace(url + L" is refused: it did not arrive whole");
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

BOOL RunElevated(HWND window, const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
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
  // Nothing was started when the launch failed or the elevation was refused.
  const UniqueHandle process(execute.hProcess);
  if (process) WaitUnlessEnding(process.get(), INFINITE, ending);
  return started;
}

UpdateRun RunUpdate(const std::wstring& folder, EndingRequest ending) {
  while (InstallationRuns()) {
    // That installation asks the program to end before it replaces its files.
    if (EndingRequested(ending)) return UpdateRun::Stopped;
    Pause(kInstallMutexProbeMs);
  }
  DWORD connection = 0;
  if (!ConnectedState(&connection) || (connection & INTERNET_CONNECTION_OFFLINE) != 0) return UpdateRun::Done;
  ::CoInitialize(nullptr);
  const std::wstring work = WorkFolder();
  if (!PathExists(work)) ::CreateDirectoryW(work.c_str(), nullptr);
  const std::wstring description = work + L"\\version.ini";
  const std::wstring installer = work + L"\\orvane-ca_installer.exe";
  const std::wstring descriptionUrl = folder + L"version.ini";
  ::DeleteUrlCacheEntryW(descriptionUrl.c_str());
  DeleteIfThere(description);
  if (DownloadFile(descriptionUrl, description) == 1 && PathExists(description)) {
    const std::wstring offered = ProfileString(description, L"Version");
    const std::optional<std::wstring> installed = ReadInstalledVersion();
    const std::wstring name = ProfileString(description, L"Name");
    if (!offered.empty() && installed &&
        IsNewerVersion(ToNarrow(*installed, kCodePageAnsi), ToNarrow(offered, kCodePageAnsi)) && !name.empty()) {
      const std::wstring installerUrl = folder + name;
      ::DeleteUrlCacheEntryW(installerUrl.c_str());
      DeleteIfThere(installer);
      if (DownloadFile(installerUrl, installer) == 1 && PathExists(installer)) LaunchVerified(installer, ending);
    }
  }
  ::CoUninitialize();
  // The installer runs on and replaces the program: what it was started from stays for it,
  // and the next run deletes it.
  if (EndingRequested(ending)) return UpdateRun::Stopped;
  DeleteIfThere(description);
  DeleteIfThere(installer);
  ::RemoveDirectoryW(work.c_str());
  return UpdateRun::Done;
}

}  // namespace tessard
