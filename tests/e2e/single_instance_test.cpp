#include <gtest/gtest.h>

#include "tests/e2e/token_program.h"

namespace tessard::e2e {
namespace {

using SingleInstance = TokenProgram;

TEST_F(SingleInstance, SecondStartEndsAtOnceAndLeavesTheFirstRunning) {
  Program first = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  for (const wchar_t* arguments : {L"", L"-s"}) {
    Program second(arguments);
    DWORD code = 1;
    EXPECT_TRUE(second.WaitForExit(5s, &code)) << "arguments: " << ::testing::PrintToString(arguments);
    EXPECT_EQ(code, 0u);
  }
  // The first instance's window handles what reaches it in order: once it has asked about
  // the slot of an insertion event sent now, it has handled anything the second starts sent.
  const int asked = CallsOf("C_GetSlotInfo");
  Sim("event --slot 9 --code 1");
  EXPECT_TRUE(PollUntil(10s, [asked] { return CallsOf("C_GetSlotInfo") > asked; }));
  EXPECT_TRUE(first.IsRunning());
  EXPECT_NE(FindMainDialog(first.Id()), nullptr);
}

TEST_F(SingleInstance, TerminateOptionEndsTheRunningInstance) {
  Program first = StartInstance();
  Program terminate(L"-t -s");
  EXPECT_TRUE(terminate.WaitForExit(10s));
  // An installer runs "-t" and replaces the program's files at once.
  EXPECT_FALSE(first.IsRunning()) << "-t returned before the running instance had ended";
  DWORD code = 1;
  EXPECT_TRUE(first.WaitForExit(10s, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(FindMainDialog(), nullptr);
}

TEST_F(SingleInstance, TerminateOptionWithNothingRunningStartsNothing) {
  Program terminate(L"-t");
  EXPECT_TRUE(terminate.WaitForExit(5s));
  EXPECT_EQ(FindMainDialog(), nullptr);
}

TEST_F(SingleInstance, InvalidCommandLinesEndSilently) {
  for (const wchar_t* arguments : {L"-x", L"-I", L"-i -u", L"-r -t", L"-s extra"}) {
    Program program(arguments);
    EXPECT_TRUE(program.WaitForExit(5s)) << ::testing::PrintToString(arguments);
  }
  EXPECT_EQ(FindMainDialog(), nullptr);
}

TEST_F(SingleInstance, InstallOptionShowsItsBoxThenStartsNormally) {
  Program program(L"-i");
  const HWND box = WaitForWindow(program.Id(), L"tessard", L"#32770", 10s);
  ASSERT_NE(box, nullptr);
  // The box's window comes before its text does.
  std::vector<std::wstring> texts;
  ASSERT_TRUE(PollUntil(10s, [&] { return !(texts = StaticTextsOf(box)).empty(); }));
  EXPECT_EQ(texts.back(), L"Self install not implement yet.");
  EXPECT_EQ(FindMainDialog(program.Id()), nullptr);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_NE(WaitForWindow(program.Id(), kCaption, L"#32770", 10s), nullptr);
  EXPECT_TRUE(program.IsRunning());
}

TEST_F(SingleInstance, RestartOptionAloneStartsNormally) {
  Program program = StartInstance(L"-r");
  EXPECT_TRUE(program.IsRunning());
}

}  // namespace
}  // namespace tessard::e2e
