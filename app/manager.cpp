#include "app/manager.h"

// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include "platform/system_calls.h"

namespace tessard {

bool LaunchManager(const Settings& settings, const std::wstring& managerExe) {
  if (!settings.language.keyFound) return false;
  std::wstring path = settings.language.installFolder.value_or(L"");
  if (path.empty()) return true;
  if (path.back() != L'\\') path += L'\\';
  if (managerExe.empty()) return false;
  path += managerExe;
  ShellOpen(path.c_str());
  return true;
}

UniqueHandle FindProcessByName(const std::wstring& name) {
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return {};
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    // Exactly, letter case included.
    if (name == entry.szExeFile) return UniqueHandle(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
  }
  return {};
}

void TerminateManager(const std::wstring& managerExe) {
  if (UniqueHandle manager = FindProcessByName(managerExe)) ::TerminateProcess(manager.get(), 0);
}

}  // namespace tessard
