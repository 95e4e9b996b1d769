#include "tests/e2e/tokensim_command.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/handles.h"
#include "platform/text_convert.h"
#include "tests/e2e/process_start.h"
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
  UniqueHandle readOut, writeOut, readError, writeError;
  EXPECT_TRUE(::CreatePipe(readOut.put(), writeOut.put(), &inherit, 0));
  EXPECT_TRUE(::CreatePipe(readError.put(), writeError.put(), &inherit, 0));
  ::SetHandleInformation(readOut.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(readError.get(), HANDLE_FLAG_INHERIT, 0);
  const std::wstring line = L"\"" + ExecutableFolder() + L"tokensim.exe\" " + ToWide(arguments, kCodePageAnsi);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeOut.get();
  startup.hStdError = writeError.get();
  startup.hStdInput = nullptr;
  TokensimRun run;
  const StartedProcess process = StartProcess(line, startup, true, CREATE_NO_WINDOW);
  if (!process) {
    ADD_FAILURE() << "tokensim.exe did not start: error " << process.error;
    return run;
  }
  writeOut.reset();
  writeError.reset();
  run.output = ReadPipe(readOut.get());
  // What it says of a failure; only standard output is compared.
  const std::string complaint = ReadPipe(readError.get());
  EXPECT_EQ(::WaitForSingleObject(process.process.get(), 10000), WAIT_OBJECT_0) << "tokensim " << arguments;
  DWORD code = 1;
  ::GetExitCodeProcess(process.process.get(), &code);
  run.exitCode = code;
  if (code != 0) run.output += complaint;
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
