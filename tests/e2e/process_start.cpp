#include "tests/e2e/process_start.h"

#include <cstdio>

namespace tessard::e2e {

namespace {

constexpr int kStartTries = 5;
constexpr DWORD kPauseBeforeRetryMs = 200;

}  // namespace

StartedProcess StartProcess(std::wstring commandLine, STARTUPINFOW& startup, bool inheritHandles, DWORD flags,
                            const wchar_t* folder) {
  StartedProcess started;
  for (int attempt = 1; attempt <= kStartTries; ++attempt) {
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, inheritHandles, flags, nullptr, folder, &startup,
                         &info)) {
      started.started = true;
      started.process.reset(info.hProcess);
      UniqueHandle thread(info.hThread);
      started.id = info.dwProcessId;
      return started;
    }
    started.error = ::GetLastError();
    std::fprintf(stderr, "process start refused (error %lu, try %d): %ls\n", started.error, attempt,
                 commandLine.c_str());
    ::Sleep(kPauseBeforeRetryMs);
  }
  return started;
}

}  // namespace tessard::e2e
