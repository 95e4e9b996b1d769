// The real program with the simulated token installed under the module's file name,
// changed from this process while it runs.

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <psapi.h>

#include <string>

#include "tests/e2e/token_program.h"
#include "tests/win/store_probe.h"

namespace tessard::e2e {
namespace {

using testing::MadeCertificatePath;
using testing::StoreHolds;

// Every read of a token starts object searches.
int SearchesMade() { return CallsOf("C_FindObjectsInit"); }

class TokenEvents : public TokenProgram {
 protected:
  void SetUp() override {
    TokenProgram::SetUp();
    testing::RemoveFromAllStores({&user_});
  }
  void TearDown() override {
    TokenProgram::TearDown();
    testing::RemoveFromAllStores({&user_});
  }

  bool Registered() const { return StoreHolds(L"MY", user_); }

  const std::string userToken_ = " --cert " + MadeCertificatePath("user_sign") + " --key";
  const CertBytes user_ = testing::LoadTestCertificate("user_sign");
};

TEST_F(TokenEvents, ReadsTheTokensAlreadyPresentAtStart) {
  Sim("insert --slot 1" + userToken_);
  Sim("insert --slot 2 --uninitialized");
  Program program = StartInstance();
  EXPECT_TRUE(PollUntil(10s, [this] { return Registered(); }));
  EXPECT_EQ(TokensimCount("sessions"), 0);
  EXPECT_TRUE(program.IsRunning());
}

TEST_F(TokenEvents, SeesInsertionsAndRemovalsMadeByAnotherProcess) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents()) << "the program does not wait for token events";
  Sim("insert --slot 3" + userToken_);
  EXPECT_TRUE(PollUntil(10s, [this] { return Registered(); }));
  const int searches = SearchesMade();
  Sim("event --slot 3 --code 1");
  // The window handles events in order, and a removal searches nothing: once the removal
  // is seen, the insertion event before it has been handled.
  Sim("remove --slot 3");
  EXPECT_TRUE(PollUntil(10s, [this] { return !Registered(); })) << "the removal was not seen";
  EXPECT_EQ(SearchesMade(), searches) << "a known slot was read again";
  Sim("insert --slot 3" + userToken_);
  EXPECT_TRUE(PollUntil(10s, [this] { return Registered(); }));
  EXPECT_EQ(TokensimCount("sessions"), 0);
  EXPECT_TRUE(program.IsRunning());
}

TEST_F(TokenEvents, TerminateOptionPurgesFinalisesTheModuleAndEnds) {
  Sim("insert --slot 1" + userToken_);
  Program program = StartInstance();
  EXPECT_TRUE(WaitsForEvents());
  EXPECT_TRUE(PollUntil(10s, [this] { return Registered(); }));
  Program terminate(L"-t");
  EXPECT_TRUE(terminate.WaitForExit(10s));
  DWORD code = 1;
  EXPECT_TRUE(program.WaitForExit(10s, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(Tokensim("list").output.find("waiters 0"), std::string::npos) << "C_Finalize was not called";
  EXPECT_FALSE(Registered()) << "the exit leaves no entry of the provider";
}

// The full path of the module the process loaded under the module's file name.
std::wstring LoadedModulePath(DWORD processId) {
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  HMODULE modules[256] = {};
  DWORD needed = 0;
  if (!process || !::EnumProcessModules(process.get(), modules, sizeof modules, &needed)) return {};
  for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 256; ++i) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameExW(process.get(), modules[i], path, MAX_PATH);
    const std::wstring text(path);
    if (text.ends_with(L"\\Orvane-CAv3.dll")) return text;
  }
  return {};
}

// The program's own folder holds a module too, and the current folder a decoy of its name:
// only the one of the settings' "Path" is loaded.
TEST_F(TokenProgram, TheModuleComesFromThePathTheSettingsName) {
  const std::wstring path = ExecutableFolder() + L"module folder";
  const std::wstring current = ExecutableFolder() + L"decoy folder";
  for (const std::wstring& folder : {path, current}) ::CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(
      ::CopyFileW((ExecutableFolder() + L"Orvane-CAv3.dll").c_str(), (path + L"\\Orvane-CAv3.dll").c_str(), FALSE));
  ASSERT_TRUE(
      ::CopyFileW((ExecutableFolder() + L"winscard.dll").c_str(), (current + L"\\Orvane-CAv3.dll").c_str(), FALSE));
  const testing::SettingsValue settingsPath(L"Path", path);
  Program program(L"", L"tessard.exe", current);
  ASSERT_TRUE(WaitsForEvents()) << "the module did not load";
  EXPECT_EQ(LoadedModulePath(program.Id()), path + L"\\Orvane-CAv3.dll");
}

TEST_F(TokenProgram, WithoutTheModuleItSaysSoAndEnds) {
  std::wstring folder = ExecutableFolder() + L"without module";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileW((ExecutableFolder() + L"tessard.exe").c_str(), (folder + L"\\tessard.exe").c_str(), FALSE));
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
