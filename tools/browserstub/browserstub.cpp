// A stand-in browser for tests: writes the number of its arguments and then each argument,
// one per line in UTF-8, to the file named by BROWSERSTUB_LOG, then sets the event named by
// BROWSERSTUB_EVENT (when there is one) so that a test waits for the log instead of polling
// it, and stays up briefly so that a test can see its window closed or its process ended.

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::string LogText(int argc, wchar_t** argv) {
  std::string text = std::to_string(argc - 1) + "\n";
  for (int i = 1; i < argc; ++i) {
    char line[4096] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, line, sizeof line - 1, nullptr, nullptr);
    text += std::string(line) + "\n";
  }
  return text;
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
  const std::wstring log = EnvironmentValue(L"BROWSERSTUB_LOG");
  if (log.empty() || !AppendToLog(log, LogText(argc, argv))) return 1;
  SignalWritten(EnvironmentValue(L"BROWSERSTUB_EVENT"));
  ::Sleep(2000);
  return 0;
}
