// The real program with the simulated token installed under the module's file name,
// changed from this process while it runs.

#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/program_under_test.h"
#include "tests/win/tokensim_driver.h"

namespace tessard::e2e {
namespace {

using testing::OpenSessions;
using testing::Sim;
using testing::TestCertificate;
using testing::Tokensim;

const wchar_t kCaption[] = L"Orvane-CA Token Manager V3.0";

template <typename Condition>
bool PollUntil(std::chrono::milliseconds limit, Condition condition) {
  for (auto waited = 0ms; waited < limit; waited += 100ms) {
    if (condition()) return true;
    ::Sleep(100);
  }
  return condition();
}

// Every read of a token starts one object search; an armed failure that never fires
// counts them down, and `tokensim list` shows the count.
constexpr int kSearchBudget = 1000;

bool SearchesMadeAre(int count) {
  std::string wanted = "fail C_FindObjectsInit rv 0x5 after " + std::to_string(kSearchBudget - count) + " ";
  return Tokensim("list").output.find(wanted) != std::string::npos;
}

class TokenProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    EndRunningInstance();
    testing::UseOwnSimulatorWorld();
    Sim("fail --call C_FindObjectsInit --rv 5 --after " + std::to_string(kSearchBudget));
  }
  void TearDown() override {
    EndRunningInstance();
    EXPECT_EQ(OpenSessions(), 0);
  }

  Program StartInstance() {
    Program program(L"");
    EXPECT_TRUE(program.Started());
    EXPECT_NE(WaitForWindow(program.Id(), kCaption, L"#32770", 10s), nullptr);
    return program;
  }
};

TEST_F(TokenProgram, ReadsTheTokensAlreadyPresentAtStart) {
  Sim("insert --slot 1 --cert " + TestCertificate("user.pem") + " --key");
  Sim("insert --slot 2 --uninitialized");
  Program program = StartInstance();
  EXPECT_TRUE(PollUntil(10s, [] { return SearchesMadeAre(2); }));
  EXPECT_EQ(OpenSessions(), 0);
  EXPECT_TRUE(program.IsRunning());
}

TEST_F(TokenProgram, SeesInsertionsAndRemovalsMadeByAnotherProcess) {
  Program program = StartInstance();
  EXPECT_TRUE(PollUntil(5s, [] { return Tokensim("list").output.find("waiters 1") != std::string::npos; }))
      << "the program does not wait for token events";
  Sim("insert --slot 3 --cert " + TestCertificate("ca.pem"));
  EXPECT_TRUE(PollUntil(5s, [] { return SearchesMadeAre(1); }));
  Sim("event --slot 3 --code 1");
  ::Sleep(500);
  EXPECT_TRUE(SearchesMadeAre(1)) << "a known slot was read again";
  Sim("remove --slot 3");
  Sim("insert --slot 3");
  EXPECT_TRUE(PollUntil(5s, [] { return SearchesMadeAre(2); })) << "the removal was not seen";
  EXPECT_EQ(OpenSessions(), 0);
  EXPECT_TRUE(program.IsRunning());
}

TEST_F(TokenProgram, TerminateOptionFinalisesTheModuleAndEnds) {
  Sim("insert --slot 1 --cert " + TestCertificate("user.pem"));
  Program program = StartInstance();
  EXPECT_TRUE(PollUntil(5s, [] { return Tokensim("list").output.find("waiters 1") != std::string::npos; }));
  Program terminate(L"-t");
  EXPECT_TRUE(terminate.WaitForExit(10s));
  DWORD code = 1;
  EXPECT_TRUE(program.WaitForExit(10s, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(Tokensim("list").output.find("waiters 0"), std::string::npos) << "C_Finalize was not called";
}

TEST_F(TokenProgram, WithoutTheModuleItSaysSoAndEnds) {
  std::wstring folder = TestFolder() + L"without module";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileW((TestFolder() + L"tessard.exe").c_str(), (folder + L"\\tessard.exe").c_str(), FALSE));
  // Also run from there: LoadLibraryW looks in the working folder too.
  Program program(L"", L"without module\\tessard.exe", folder);
  HWND box = nullptr;
  EXPECT_TRUE(PollUntil(10s, [&] {
    for (HWND window : WindowsOf(program.Id())) {
      if (ClassOf(window) != L"#32770" || TextOf(window) != kCaption) continue;
      auto texts = StaticTextsOf(window);
      if (!texts.empty() && texts.back() == L"Failed to load PKCS#11 library, please check your installation") {
        box = window;
      }
    }
    return box != nullptr;
  }));
  ASSERT_NE(box, nullptr);
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(program.WaitForExit(10s));
}

}  // namespace
}  // namespace tessard::e2e
