// Token access against the simulated module, loaded in-process under the product's
// module file name from the test folder.

#include "token/token_access.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "tests/win/store_probe.h"
#include "tests/win/tokensim_driver.h"
#include "token/token_event.h"

namespace tessard::testing {
namespace {

using namespace std::chrono_literals;

const wchar_t kModuleName[] = L"Orvane-CAv3.dll";

bool ModuleLoaded() { return ::GetModuleHandleW(kModuleName) != nullptr; }

class TokenAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { UseOwnSimulatorWorld(); }
  void TearDown() override {
    token_.Close();
    EXPECT_FALSE(ModuleLoaded());
    EXPECT_EQ(OpenSessions(), 0);
  }

  void Insert(const std::string& options) {
    Sim("insert " + options);
    ExpectNoOpenSession();
  }

  void ExpectNoOpenSession() { EXPECT_EQ(OpenSessions(), 0); }

  TokenAccess token_;
};

TEST_F(TokenAccessTest, OpenReadsTheTokensPresentAndASecondOpenLoadsNothing) {
  Insert("--slot 1 --cert " + TestCertificate("user.pem") + " --key --container c1 --id 0102 --cert " +
         TestCertificate("ca.pem") + " --container c2");
  Insert("--slot 3 --uninitialized");
  ASSERT_EQ(token_.Open(), CKR_OK);
  ExpectNoOpenSession();
  EXPECT_TRUE(token_.IsSlotKnown(1));
  EXPECT_TRUE(token_.IsSlotKnown(3));
  EXPECT_FALSE(token_.IsSlotKnown(2));
  std::vector<TokenCertificate> certs = token_.CertificatesOfSlot(1);
  ASSERT_EQ(certs.size(), 2u);
  EXPECT_EQ(certs[0].id, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(certs[0].containerName, L"c1");
  EXPECT_EQ(certs[0].value.size(), 446u);
  EXPECT_EQ(certs[0].slot, 1u);
  EXPECT_EQ(certs[1].containerName, L"c2");

  HMODULE loaded = ::GetModuleHandleW(kModuleName);
  EXPECT_EQ(token_.Open(), CKR_OK);
  EXPECT_EQ(::GetModuleHandleW(kModuleName), loaded);
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 2u);
}

TEST_F(TokenAccessTest, ModuleFaultsLeaveNoModuleLoaded) {
  EXPECT_EQ(token_.Close(), CKR_OK) << "Close without a module";
  Sim("shape --aux-wait 0");
  EXPECT_EQ(token_.Open(), CKR_FUNCTION_FAILED);
  EXPECT_FALSE(ModuleLoaded());
  Sim("shape --aux-wait 1");

  Sim("fail --call C_Initialize --rv 6");
  EXPECT_EQ(token_.Open(), CKR_FUNCTION_FAILED);
  EXPECT_FALSE(ModuleLoaded()) << "a module that failed to initialise stays loaded";
  EXPECT_EQ(token_.Open(), CKR_OK) << "the next Open finds the module refused last time";
  EXPECT_TRUE(ModuleLoaded());

  ASSERT_EQ(token_.Close(), CKR_OK);
  Sim("fail --call C_GetFunctionList --rv 5");
  EXPECT_EQ(token_.Open(), CKR_GENERAL_ERROR);
  EXPECT_FALSE(ModuleLoaded());
}

TEST_F(TokenAccessTest, ALastSlotThatCannotBeQueriedFailsOpen) {
  Insert("--slot 1");
  Insert("--slot 2");
  Sim("fail --call C_GetSlotInfo --rv 30 --after 1");
  EXPECT_EQ(token_.Open(), CKR_DEVICE_ERROR);
  EXPECT_TRUE(token_.IsSlotKnown(1));
  EXPECT_FALSE(token_.IsSlotKnown(2));
}

TEST_F(TokenAccessTest, ReaderNamesLoseOnlyTrailingSpaces) {
  Insert("--slot 1 --reader \"\"");
  Insert("--slot 2 --reader \"  Card  Reader 2   \"");
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(token_.IsSlotKnown(1));
  EXPECT_EQ(token_.ReaderNameOfSlot(1), L"");
  EXPECT_EQ(token_.ReaderNameOfSlot(2), L"  Card  Reader 2");
  EXPECT_EQ(token_.ReaderNameOfSlot(7), L"");
}

TEST_F(TokenAccessTest, InsertionEntersTokensOnceAndRemovalDropsOnlyKnownOnes) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_FALSE(token_.HasTokens());
  Insert("--slot 4 --uninitialized --cert " + TestCertificate("user.pem"));
  Insert("--slot 5");
  token_.OnTokenInserted(4, L"");
  token_.OnTokenInserted(5, L"");
  token_.OnTokenInserted(6, L"");
  ExpectNoOpenSession();
  EXPECT_TRUE(token_.IsSlotKnown(4)) << "an uninitialised token is entered";
  EXPECT_EQ(token_.CertificatesOfSlot(4).size(), 1u);
  EXPECT_TRUE(token_.IsSlotKnown(5));
  EXPECT_TRUE(token_.CertificatesOfSlot(5).empty());
  EXPECT_FALSE(token_.IsSlotKnown(6));

  Sim("add --slot 4 --cert " + TestCertificate("ca.pem"));
  token_.OnTokenInserted(4, L"");
  EXPECT_EQ(token_.CertificatesOfSlot(4).size(), 1u) << "a second insertion of a known slot changed it";

  token_.OnTokenRemoved(9, true);
  EXPECT_TRUE(token_.IsSlotKnown(4));
  EXPECT_TRUE(token_.IsSlotKnown(5));
  token_.OnTokenRemoved(4, true);
  EXPECT_FALSE(token_.IsSlotKnown(4));
  EXPECT_TRUE(token_.HasTokens());
  token_.OnTokenRemoved(5, false);
  EXPECT_FALSE(token_.HasTokens());
}

TEST_F(TokenAccessTest, AnObjectWithoutContainerNameEndsTheReadKeepingWhatCameBefore) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  Insert("--slot 1 --cert " + TestCertificate("user.pem") + " --cert " + TestCertificate("ca.pem") +
         " --no-container --cert " + TestCertificate("user.der"));
  Insert("--slot 2 --cert " + TestCertificate("ca.pem") + " --no-id --cert " + TestCertificate("user.pem"));
  token_.OnTokenInserted(1, L"");
  token_.OnTokenInserted(2, L"");
  ExpectNoOpenSession();
  ASSERT_TRUE(token_.IsSlotKnown(1));
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 1u);
  ASSERT_TRUE(token_.IsSlotKnown(2));
  EXPECT_TRUE(token_.CertificatesOfSlot(2).empty());
}

TEST_F(TokenAccessTest, ATokenRemovedDuringTheReadIsNotEntered) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  Insert("--slot 1 --cert " + TestCertificate("user.pem") + " --cert " + TestCertificate("ca.pem"));
  for (const char* call : {"C_GetAttributeValue --after 2", "C_FindObjects --after 1", "C_OpenSession"}) {
    Sim(std::string("fail --rv 32 --call ") + call);
    token_.OnTokenInserted(1, L"");
    EXPECT_FALSE(token_.IsSlotKnown(1)) << call;
    ExpectNoOpenSession();
  }
  token_.OnTokenInserted(1, L"");
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 2u);
}

// The worker reads the table while the window thread enters and drops tokens: every view
// it gets is a whole entry or none.
TEST_F(TokenAccessTest, TheTableIsWholeForAReaderOnAnotherThread) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  Insert("--slot 1 --reader R1 --cert " + TestCertificate("user.pem") + " --key --cert " + TestCertificate("ca.pem"));
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, seen{0};
  std::thread worker([&] {
    while (!done) {
      std::wstring reader = token_.ReaderNameOfSlot(1);
      size_t count = token_.CertificatesOfSlot(1).size();
      token_.OnObjectCreated(1, 1);
      if (!reader.empty()) ++seen;
      if (!reader.empty() && reader != L"R1") ++torn;
      if (count != 0 && count != 2) ++torn;
    }
  });
  for (int round = 0; round < 20; ++round) {
    token_.OnTokenInserted(1, L"");
    token_.OnTokenRemoved(1, false);
  }
  done = true;
  worker.join();
  EXPECT_EQ(torn, 0);
  ExpectNoOpenSession();
  std::ifstream file(TestCertificate("user.der"), std::ios::binary);
  const CertBytes user{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_FALSE(user.empty());
  EXPECT_FALSE(StoreHolds(L"MY", user)) << "an object event during a removal left an entry behind";
  RemoveFromAllStores({&user});
}

// A message-only window that keeps every token event posted to it.
class EventSink {
 public:
  EventSink() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &EventSink::Proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TokenEventSink";
    ::RegisterClassW(&windowClass);
    window_ = ::CreateWindowW(L"TokenEventSink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~EventSink() { ::DestroyWindow(window_); }
  HWND Window() const { return window_; }
  const std::vector<MSG>& Events() const { return events_; }

  // Pumps until `count` events arrived or the limit passed.
  bool WaitFor(size_t count, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (events_.size() < count && std::chrono::steady_clock::now() < end) {
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return events_.size() >= count;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<EventSink*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == kTokenEventMessage) {
      self->events_.push_back({window, message, wParam, lParam, 0, {}});
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  HWND window_ = nullptr;
  std::vector<MSG> events_;
};

TEST_F(TokenAccessTest, TheMonitorPostsEventsWithTruncatedSlotAndCodeAndKeptData) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  EventSink sink;
  ASSERT_EQ(token_.StartMonitor(sink.Window(), kTokenEventMessage), CKR_OK);
  EXPECT_EQ(token_.StartMonitor(sink.Window(), kTokenEventMessage), CKR_GENERAL_ERROR) << "a second monitor";
  Sim("event --slot 7 --code 2");
  Sim("event --slot 65539 --code 65540 --data 42");
  Sim("event --slot 1 --code 5");
  Sim("fail --call WaitForTokenEvent --rv 5 --times 3");
  Sim("event --slot 2 --code 3 --data 9");
  ASSERT_TRUE(sink.WaitFor(4, 5s));
  const std::vector<MSG>& events = sink.Events();
  EXPECT_EQ(events[0].wParam, (7u << 16) | 2u);
  EXPECT_EQ(events[0].lParam, 0);
  EXPECT_EQ(events[1].wParam, (3u << 16) | 4u);
  EXPECT_EQ(events[1].lParam, 42);
  EXPECT_EQ(events[2].wParam, (1u << 16) | 5u);
  EXPECT_EQ(events[2].lParam, 42) << "an event without data carries the previous value";
  EXPECT_EQ(events[3].wParam, (2u << 16) | 3u);
  EXPECT_EQ(events[3].lParam, 9);

  EXPECT_EQ(token_.Close(), CKR_OK);
  EXPECT_FALSE(ModuleLoaded());
  Sim("event --slot 1 --code 1");
  EXPECT_FALSE(sink.WaitFor(5, 500ms)) << "an event arrived after Close";
}

class InfoPage : public TokenAccessTest {
 protected:
  void SetUp() override {
    TokenAccessTest::SetUp();
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L'\\') + 1);
    std::wstring browserFolder = folder + L"browser stand in";
    ::CreateDirectoryW(browserFolder.c_str(), nullptr);
    browser_ = browserFolder + L"\\iexplore.exe";
    ASSERT_TRUE(::CopyFileW((folder + L"browserstub.exe").c_str(), browser_.c_str(), FALSE));
    log_ = folder + L"browserstub.log";
    ::DeleteFileW(log_.c_str());
    ::SetEnvironmentVariableW(L"BROWSERSTUB_LOG", log_.c_str());
    SetBrowserPath(browser_);
  }
  void TearDown() override {
    SetBrowserPath(L"");
    TokenAccessTest::TearDown();
  }

  static void SetBrowserPath(const std::wstring& path) {
    UniqueRegKey key;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE",
                          0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }

  // The lines the stand-in wrote, once it wrote `lines` of them.
  std::vector<std::string> LogLines(size_t lines) {
    std::vector<std::string> result;
    for (int attempt = 0; attempt < 100 && result.size() < lines; ++attempt) {
      ::Sleep(50);
      std::ifstream in{std::filesystem::path(log_)};
      result.clear();
      for (std::string line; std::getline(in, line);) result.push_back(line);
    }
    return result;
  }

  std::wstring browser_, log_;
};

TEST_F(InfoPage, TheBrowserGetsTheAddressAsOneArgumentOncePerInsertion) {
  Insert("--slot 1");
  ASSERT_EQ(token_.Open(), CKR_OK);
  const std::wstring url = L"http://info.example/page one?a=\"b c\"\\";
  token_.LaunchInfoPage(2, url);
  token_.LaunchInfoPage(1, L"");
  token_.LaunchInfoPage(1, url);
  token_.LaunchInfoPage(1, url);
  std::vector<std::string> lines = LogLines(2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "1");
  EXPECT_EQ(lines[1], "http://info.example/page one?a=\"b c\"\\");
  ::Sleep(300);
  EXPECT_EQ(LogLines(3).size(), 2u) << "the page was opened twice for one insertion";

  token_.OnTokenRemoved(1, false);
  token_.OnTokenInserted(1, L"");
  token_.LaunchInfoPage(1, L"http://info.example/again");
  EXPECT_EQ(LogLines(4).size(), 4u) << "a new insertion opens the page again";
}

}  // namespace
}  // namespace tessard::testing
