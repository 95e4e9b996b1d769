#include "tests/win/tokensim_driver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/handles.h"
#include "platform/text_convert.h"

namespace tessard::testing {

namespace {

std::wstring ExecutablePath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::wstring Folder() {
  std::wstring path = ExecutablePath();
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::string ReadPipe(HANDLE pipe) {
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  return text;
}

}  // namespace

void UseOwnSimulatorWorld() {
  // One world per test case: CTest runs the cases of one executable side by side.
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "world";
  std::wstring path = Folder() + L"tokensim\\" + ToWide(name, kCodePageAnsi) + L".txt";
  ::CreateDirectoryW((Folder() + L"tokensim").c_str(), nullptr);
  ::SetEnvironmentVariableW(L"TOKENSIM_STATE", path.c_str());
  Sim("reset");
}

TokensimRun Tokensim(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  UniqueHandle readEnd, writeEnd;
  EXPECT_TRUE(::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0));
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  std::wstring line = L"\"" + Folder() + L"tokensim.exe\" " + ToWide(arguments, kCodePageAnsi);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  // Wine's own diagnostics go to standard error; only what tokensim prints is compared.
  UniqueFileHandle discard(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
  startup.hStdError = discard.get();
  startup.hStdInput = nullptr;
  PROCESS_INFORMATION started = {};
  TokensimRun run;
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &started)) {
    ADD_FAILURE() << "tokensim.exe did not start";
    return run;
  }
  UniqueHandle process(started.hProcess), thread(started.hThread);
  writeEnd.reset();
  run.output = ReadPipe(readEnd.get());
  EXPECT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0) << "tokensim " << arguments;
  DWORD code = 1;
  ::GetExitCodeProcess(process.get(), &code);
  run.exitCode = code;
  return run;
}

void Sim(const std::string& arguments) {
  TokensimRun run = Tokensim(arguments);
  EXPECT_EQ(run.exitCode, 0u) << "tokensim " << arguments << ": " << run.output;
}

int OpenSessions() {
  TokensimRun run = Tokensim("sessions");
  EXPECT_EQ(run.exitCode, 0u);
  return std::atoi(run.output.c_str());
}

std::string TestCertificate(const std::string& name) { return std::string(TESSARD_TEST_DATA) + "/" + name; }

}  // namespace tessard::testing
