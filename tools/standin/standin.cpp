// A stand-in for the programs Tessard starts, copied by the tests under the name each has:
// the browser, the token manager and the installer. It appends to the file named by
// STANDIN_LOG its own file name, whether the installation mutex exists, the number of its
// arguments and each argument, one per line in UTF-8; then sets the event named by
// STANDIN_EVENT (when there is one), so that a test waits for the log instead of polling
// it. The installer adds two lines: "hidden" when it was started hidden, else "shown"; and
// "held" when its own file cannot be opened for deleting, as while the update agent holds it,
// else "not held". The token manager then stays until it is ended, the installer ends at
// once, and anything else (the browser) stays up briefly, so that a test can see it closed or
// ended.

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

constexpr wchar_t kInstallMutex[] = L"Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex";
constexpr wchar_t kInstallerName[] = L"orvane-ca_installer.exe";
constexpr DWORD kBrowserStayMs = 2000;

std::string Utf8(const wchar_t* text) {
  char line[4096] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line - 1, nullptr, nullptr);
  return line;
}

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool InstallationMutexExists() {
  tessard::UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kInstallMutex));
  return static_cast<bool>(mutex);
}

bool StartedHidden() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_HIDE;
}

// A running program's file may be opened for deleting, unless another handle shares it for
// reading only.
bool FileHeld(const std::wstring& path) {
  tessard::UniqueFileHandle file(::CreateFileW(path.c_str(), DELETE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool IsInstaller(const std::wstring& name) { return ::lstrcmpiW(name.c_str(), kInstallerName) == 0; }

std::string LogText(const std::wstring& path, int argc, wchar_t** argv) {
  std::string text = Utf8(FileNameOf(path).c_str()) + "\n" + (InstallationMutexExists() ? "mutex" : "no mutex") + "\n" +
                     std::to_string(argc - 1) + "\n";
  for (int i = 1; i < argc; ++i) text += Utf8(argv[i]) + "\n";
  if (IsInstaller(FileNameOf(path))) {
    text += std::string(StartedHidden() ? "hidden" : "shown") + "\n" + (FileHeld(path) ? "held" : "not held") + "\n";
  }
  return text;
}

DWORD StayFor(const std::wstring& name) {
  if (::lstrcmpiW(name.c_str(), L"orvane-ca_mgr.exe") == 0) return INFINITE;
  if (IsInstaller(name)) return 0;
  return kBrowserStayMs;
}

bool AppendToLog(const std::wstring& log, const std::string& text) {
  tessard::UniqueFileHandle file(::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void SignalWritten(const std::wstring& eventName) {
  if (eventName.empty()) return;
  tessard::UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str()));
  if (event) ::SetEvent(event.get());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring path = OwnPath();
  const std::wstring log = EnvironmentValue(L"STANDIN_LOG");
  if (log.empty() || !AppendToLog(log, LogText(path, argc, argv))) return 1;
  SignalWritten(EnvironmentValue(L"STANDIN_EVENT"));
  ::Sleep(StayFor(FileNameOf(path)));
  return 0;
}
