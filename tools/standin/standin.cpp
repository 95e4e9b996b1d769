// A stand-in for the programs Tessard starts, copied by the tests under the name each has:
// the browser, the token manager and the installer. It appends to the file named by
// STANDIN_LOG its own file name, whether the installation mutex exists, the number of its
// arguments and each argument, one per line in UTF-8; then sets the event named by
// STANDIN_EVENT (when there is one), so that a test waits for the log instead of polling
// it. The token manager then stays until it is ended, the installer ends at once, and
// anything else (the browser) stays up briefly, so that a test can see it closed or ended.

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/handles.h"

namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

constexpr wchar_t kInstallMutex[] = L"Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex";
constexpr DWORD kBrowserStayMs = 2000;

std::string Utf8(const wchar_t* text) {
  char line[4096] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line - 1, nullptr, nullptr);
  return line;
}

std::wstring OwnFileName() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path);
  return name.substr(name.find_last_of(L'\\') + 1);
}

bool InstallationMutexExists() {
  tessard::UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kInstallMutex));
  return static_cast<bool>(mutex);
}

std::string LogText(const std::wstring& name, int argc, wchar_t** argv) {
  std::string text = Utf8(name.c_str()) + "\n" + (InstallationMutexExists() ? "mutex" : "no mutex") + "\n" +
                     std::to_string(argc - 1) + "\n";
  for (int i = 1; i < argc; ++i) text += Utf8(argv[i]) + "\n";
  return text;
}

DWORD StayFor(std::wstring_view name) {
  if (::lstrcmpiW(name.data(), L"orvane-ca_mgr.exe") == 0) return INFINITE;
  if (::lstrcmpiW(name.data(), L"orvane-ca_installer.exe") == 0) return 0;
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
  const std::wstring name = OwnFileName();
  const std::wstring log = EnvironmentValue(L"STANDIN_LOG");
  if (log.empty() || !AppendToLog(log, LogText(name, argc, argv))) return 1;
  SignalWritten(EnvironmentValue(L"STANDIN_EVENT"));
  ::Sleep(StayFor(name));
  return 0;
}
