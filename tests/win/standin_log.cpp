#include "tests/win/standin_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/text_convert.h"

namespace tessard::testing {

namespace {

constexpr DWORD kQuietLimitMs = 10000;

}  // namespace

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring UniqueCaseName() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "none";
  return ToWide(name, kCodePageAnsi) + L"." + std::to_wstring(::GetCurrentProcessId());
}

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

StandinLog::StandinLog() {
  const std::wstring name = UniqueCaseName();
  const std::wstring folder = ExecutableFolder() + L"standin logs";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  path_ = folder + L"\\" + name + L".log";
  ::DeleteFileW(path_.c_str());
  const std::wstring event = L"tessard.standin." + name;
  written_.reset(::CreateEventW(nullptr, FALSE, FALSE, event.c_str()));
  EXPECT_TRUE(written_);
  ::SetEnvironmentVariableW(L"STANDIN_LOG", path_.c_str());
  ::SetEnvironmentVariableW(L"STANDIN_EVENT", event.c_str());
}

StandinLog::~StandinLog() { ::DeleteFileW(path_.c_str()); }

LogLines StandinLog::Lines() const {
  std::ifstream in{std::filesystem::path(path_)};
  LogLines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

LogLines StandinLog::WaitFor(const std::function<bool(const LogLines&)>& enough) const {
  LogLines lines = Lines();
  while (!enough(lines) && ::WaitForSingleObject(written_.get(), kQuietLimitMs) == WAIT_OBJECT_0) lines = Lines();
  return lines;
}

}  // namespace tessard::testing
