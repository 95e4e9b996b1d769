// The running program against a token module that errs: a lasting fault leaves the program
// answering, a failing wait loses no event, a token replaced without a removal event is
// replaced in the stores, and "-t" ends the program whatever box it shows. Brief faults of
// every other entry are the fault sweep's (tests/win/module_fault_test.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/e2e/token_program.h"
#include "tests/win/store_probe.h"

namespace tessard::e2e {
namespace {

using testing::LoadTestCertificate;
using testing::StoreHolds;

std::string Cert(const std::string& name) { return " --cert " + testing::MadeCertificatePath(name); }

constexpr const wchar_t* kStores[] = {L"MY", L"CA", L"ROOT", L"ADDRESSBOOK"};
constexpr wchar_t kModuleFailed[] = L"Failed to load PKCS#11 library, please check your installation";

bool InAnyStore(const CertBytes& value) {
  for (const wchar_t* store : kStores) {
    if (StoreHolds(store, value)) return true;
  }
  return false;
}

class ModuleFaultsOfTheProgram : public TestCertificatesProgram {};

TEST_F(ModuleFaultsOfTheProgram, ALastingFaultLeavesTheProgramAnsweringAndEndingOnRequest) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("fail --call C_GetAttributeValue --rv 30 --times 0");
  Sim("insert --slot 1" + Cert("user_exchange") + " --key" + Cert("ca"));
  // The insertion and its three tries each read a certificate and a key, and give up.
  ASSERT_TRUE(PollUntil(10s, [] { return CallsOf("C_GetAttributeValue") >= 8; }));
  DWORD_PTR answer = 0;
  EXPECT_NE(::SendMessageTimeoutW(FindMainDialog(program.Id()), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);
  EXPECT_FALSE(InAnyStore(user_));
  EXPECT_FALSE(InAnyStore(ca_));
  Program terminate(L"-t");
  EXPECT_TRUE(program.WaitForExit(10s));
}

TEST_F(ModuleFaultsOfTheProgram, AnotherTokenInASlotWhoseRemovalWentUnreportedReplacesIt) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("insert --slot 1" + Cert("user_exchange") + " --key");
  ASSERT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"MY", user_); }));
  // Into the same slot with only an insertion event, as after a lost removal.
  Sim("insert --slot 1" + Cert("user_sign") + " --key");
  EXPECT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"MY", other_); })) << "the new token was ignored";
  EXPECT_FALSE(StoreHolds(L"MY", user_)) << "the token that left kept its entry";
}

// The monitor's wait is the one module entry that progress reports and removals pass
// through: failing there, with each status a pulled token gives, loses neither.
TEST_F(ModuleFaultsOfTheProgram, AFailingWaitLosesNeitherAProgressReportNorARemoval) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  for (const char* rv : {"0x5", "0x32", "0xB3", "0xE0"}) {
    SCOPED_TRACE(rv);
    for (const char* event : {"event --slot 1 --code 266", "remove --slot 1"}) {
      SCOPED_TRACE(event);
      Sim("insert --slot 1" + Cert("user_exchange") + " --key");
      ASSERT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"MY", user_); }));
      // The wait blocked now has passed its check; an event of no effect lets the next ones fail.
      Sim(std::string("fail --call WaitForTokenEvent --times 2 --rv ") + rv);
      Sim("event --slot 1 --code 258");
      Sim(event);
      EXPECT_TRUE(PollUntil(10s, [this] { return !StoreHolds(L"MY", user_); })) << "the event was lost";
    }
  }
  Program terminate(L"-t");
  EXPECT_TRUE(program.WaitForExit(10s));
}

// True once a dialog of the program shows this text in a static control.
bool Shows(const Program& program, const std::wstring& text) {
  return PollUntil(10s, [&] {
    for (HWND window : WindowsOf(program.Id())) {
      const auto texts = StaticTextsOf(window);
      if (ClassOf(window) == L"#32770" && std::find(texts.begin(), texts.end(), text) != texts.end()) return true;
    }
    return false;
  });
}

TEST_F(TokenProgram, EndingWhileTheModuleFailureShowsEndsTheProgram) {
  Sim("shape --aux-wait 0");
  Program program(L"");
  ASSERT_TRUE(Shows(program, kModuleFailed));
  Program terminate(L"-t");
  EXPECT_TRUE(program.WaitForExit(10s)) << "the program waited for someone to close its box";
  Sim("shape --aux-wait 1");
}

}  // namespace
}  // namespace tessard::e2e
