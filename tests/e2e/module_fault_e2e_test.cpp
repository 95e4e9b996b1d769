// The running program against a token module that errs: a brief fault is outlived, a
// lasting one leaves the program answering, a token replaced without a removal event is
// replaced in the stores, and "-t" ends the program whatever box it shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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

// A certificate file of the test folder with these bytes, as a path tokensim reads.
std::string WriteCertificate(const std::string& name, const CertBytes& bytes) {
  const std::wstring folder = ExecutableFolder();
  const std::string path = std::string(folder.begin(), folder.end()) + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return path;
}

class ModuleFaultsOfTheProgram : public TestCertificatesProgram {};

TEST_F(ModuleFaultsOfTheProgram, ABriefFaultNeverFilesTheUsersCertificateElsewhere) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("fail --call C_OpenSession --rv 5 --times 1");
  Sim("insert --slot 1" + Cert("user_exchange") + " --key" + Cert("ca") + Cert("root"));
  EXPECT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"MY", user_) && StoreHolds(L"ROOT", root_); }))
      << "the token was not read again";
  EXPECT_FALSE(StoreHolds(L"ADDRESSBOOK", user_));
  Sim("remove --slot 1");
  EXPECT_TRUE(PollUntil(5s, [this] { return !StoreHolds(L"MY", user_); }));
  EXPECT_FALSE(InAnyStore(user_)) << "the user's certificate outlived the removal";
}

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

TEST_F(ModuleFaultsOfTheProgram, TheStoreGetsTheCertificatesOwnEncodingAndNothingElse) {
  CertBytes trailed = other_;
  trailed.insert(trailed.end(), 71, 0x5A);
  // The outer length made indefinite, closed by two zero bytes at the end.
  CertBytes indefinite = ca_;
  indefinite.erase(indefinite.begin() + 1, indefinite.begin() + 4);
  indefinite.insert(indefinite.begin() + 1, 0x80);
  indefinite.insert(indefinite.end(), {0, 0});
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim("insert --slot 1 --cert " + WriteCertificate("trailed.der", trailed) + " --key --cert " +
      WriteCertificate("indefinite.der", indefinite) + Cert("root"));
  ASSERT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"ROOT", root_); }));
  EXPECT_TRUE(StoreHolds(L"MY", other_)) << "MY holds something else than the certificate itself";
  EXPECT_FALSE(InAnyStore(trailed));
  EXPECT_FALSE(InAnyStore(indefinite));
  EXPECT_FALSE(InAnyStore(ca_)) << "a value that is no single DER certificate was registered";
}

// A token already in at start-up whose slot cannot be asked about at first is read once the
// module answers, and the program stays.
TEST_F(ModuleFaultsOfTheProgram, ABriefFaultAtStartUpIsOutlived) {
  Sim("insert --slot 1" + Cert("user_exchange") + " --key");
  Sim("fail --call C_GetSlotInfo --rv 0xE0 --times 1");
  Program program = StartInstance();
  EXPECT_TRUE(PollUntil(10s, [this] { return StoreHolds(L"MY", user_); })) << "the token was not read again";
  EXPECT_TRUE(program.IsRunning());
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
