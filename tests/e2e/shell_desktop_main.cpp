// The tray's end-to-end tests run in the shell's desktop: started anywhere else, the
// executable starts itself again there, with its command line and standard handles, and
// ends with the exit code of that run.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/e2e/process_start.h"
#include "tests/e2e/shell_desktop.h"

namespace {

int RunAgainInShellDesktop() {
  std::wstring desktop = tessard::e2e::kShellDesktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  const tessard::e2e::StartedProcess started = tessard::e2e::StartProcess(::GetCommandLineW(), startup, true);
  if (!started) return 1;
  ::WaitForSingleObject(started.process.get(), INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(started.process.get(), &code);
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (!tessard::e2e::InShellDesktop()) return RunAgainInShellDesktop();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
