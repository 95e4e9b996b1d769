#include "tests/e2e/tokensim_command.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/handles.h"
#include "platform/text_convert.h"
#include "tests/e2e/program_under_test.h"

namespace tessard::e2e {

namespace {

std::string ReadPipe(HANDLE pipe) {
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  return text;
}

}  // namespace

TokensimRun Tokensim(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  UniqueHandle readEnd, writeEnd;
  EXPECT_TRUE(::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0));
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  std::wstring line = L"\"" + ExecutableFolder() + L"tokensim.exe\" " + ToWide(arguments, kCodePageAnsi);
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

int TokensimCount(const std::string& command) {
  TokensimRun run = Tokensim(command);
  EXPECT_EQ(run.exitCode, 0u) << "tokensim " << command;
  return std::atoi(run.output.c_str());
}

int CallsOf(const std::string& entry) {
  const std::string calls = "\n" + Tokensim("calls").output;
  const auto at = calls.find("\n" + entry + " ");
  EXPECT_NE(at, std::string::npos) << entry << " is not counted";
  return at == std::string::npos ? -1 : std::atoi(calls.c_str() + at + entry.size() + 2);
}

}  // namespace tessard::e2e
