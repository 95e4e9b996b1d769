#include "tests/win/standin_log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tessard::testing {

bool CopyStandin(const std::wstring& path) {
  return ::CopyFileW((ExecutableFolder() + L"standin.exe").c_str(), path.c_str(), FALSE) != FALSE;
}

void RegisterBrowser(const std::wstring& path) {
  UniqueRegKey key;
  ASSERT_EQ(
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
      ERROR_SUCCESS);
  ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

StandinLog::StandinLog(std::wstring path) : path_(std::move(path)) {
  ::DeleteFileW(path_.c_str());
  ::SetEnvironmentVariableW(L"STANDIN_LOG", path_.c_str());
  const std::wstring written = L"tessard.standin." + std::to_wstring(::GetCurrentProcessId());
  written_.reset(::CreateEventW(nullptr, FALSE, FALSE, written.c_str()));
  ::SetEnvironmentVariableW(L"STANDIN_EVENT", written.c_str());
}

StandinLog::~StandinLog() {
  ::SetEnvironmentVariableW(L"STANDIN_LOG", nullptr);
  ::SetEnvironmentVariableW(L"STANDIN_EVENT", nullptr);
}

std::vector<std::string> StandinLog::LinesOnce(const std::function<bool(const std::vector<std::string>&)>& enough) {
  std::vector<std::string> lines = Lines();
  while (!enough(lines) && ::WaitForSingleObject(written_.get(), 10000) == WAIT_OBJECT_0) lines = Lines();
  return lines;
}

std::vector<std::string> StandinLog::Lines() const {
  std::ifstream in{std::filesystem::path(path_)};
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int StandinLog::StartsOnce(const std::string& fileName, int count) {
  const auto starts = [&fileName](const std::vector<std::string>& lines) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), fileName));
  };
  return starts(LinesOnce([&](const std::vector<std::string>& lines) { return starts(lines) >= count; }));
}

}  // namespace tessard::testing
