// Token access against the simulated module, loaded in-process under the product's
// module file name from the test folder.

#include "token/token_access.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "tests/win/standin_log.h"
#include "tests/win/store_probe.h"
#include "tests/win/tokensim_driver.h"
#include "token/token_event.h"

namespace tessard::testing {
namespace {

using namespace std::chrono_literals;

const wchar_t kModuleName[] = L"Orvane-CAv3.dll";

bool ModuleLoaded() { return ::GetModuleHandleW(kModuleName) != nullptr; }

using tokensim::Entry;

class TokenAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { UseOwnSimulatorWorld(); }
  void TearDown() override {
    token_.Close();
    EXPECT_FALSE(ModuleLoaded());
    ExpectNoOpenSession();
  }

  void Insert(const tokensim::Token& token) {
    Sim(tokensim::Insert(token));
    ExpectNoOpenSession();
  }

  void ExpectNoOpenSession() { EXPECT_EQ(tokensim::OpenSessions(), 0); }

  // No test here writes a twin; a pause held under the table's lock would starve the
  // threads that take it in turn.
  TokenAccess token_{0};
};

TEST_F(TokenAccessTest, OpenReadsTheTokensPresentAndASecondOpenLoadsNothing) {
  Insert({.slot = 1,
          .certificates = {{.der = TestCertificate("user.pem"), .key = true, .container = "c1", .id = {1, 2}},
                           {.der = TestCertificate("ca.pem"), .container = "c2"}}});
  Insert({.slot = 3, .initialized = false});
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
  Sim(tokensim::Shape(false));
  EXPECT_EQ(token_.Open(), CKR_FUNCTION_FAILED);
  EXPECT_FALSE(ModuleLoaded());
  Sim(tokensim::Shape(true));

  Sim(tokensim::Fail(Entry::C_Initialize, CKR_FUNCTION_FAILED));
  EXPECT_EQ(token_.Open(), CKR_FUNCTION_FAILED);
  EXPECT_FALSE(ModuleLoaded()) << "a module that failed to initialise stays loaded";
  EXPECT_EQ(token_.Open(), CKR_OK) << "the next Open finds the module refused last time";
  EXPECT_TRUE(ModuleLoaded());

  ASSERT_EQ(token_.Close(), CKR_OK);
  Sim(tokensim::Fail(Entry::C_GetFunctionList, CKR_GENERAL_ERROR));
  EXPECT_EQ(token_.Open(), CKR_GENERAL_ERROR);
  EXPECT_FALSE(ModuleLoaded());
}

TEST_F(TokenAccessTest, ALastSlotThatCannotBeQueriedIsLeftToBeReadAgain) {
  Insert({.slot = 1});
  Insert({.slot = 2});
  Sim(tokensim::Fail(Entry::C_GetSlotInfo, CKR_DEVICE_ERROR, 1));
  EXPECT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(token_.IsSlotKnown(1));
  EXPECT_FALSE(token_.IsSlotKnown(2));
  EXPECT_EQ(token_.SlotsReadInPart(), std::vector<CK_SLOT_ID>{2});
}

TEST_F(TokenAccessTest, ReaderNamesLoseOnlyTrailingSpaces) {
  Insert({.slot = 1, .reader = ""});
  Insert({.slot = 2, .reader = "  Card  Reader 2   "});
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(token_.IsSlotKnown(1));
  EXPECT_EQ(token_.ReaderNameOfSlot(1), L"");
  EXPECT_EQ(token_.ReaderNameOfSlot(2), L"  Card  Reader 2");
  EXPECT_EQ(token_.ReaderNameOfSlot(7), L"");
}

TEST_F(TokenAccessTest, InsertionEntersTokensOnceAndRemovalDropsOnlyKnownOnes) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  EXPECT_FALSE(token_.HasTokens());
  Insert({.slot = 4, .initialized = false, .certificates = {{.der = TestCertificate("user.pem")}}});
  Insert({.slot = 5});
  token_.OnTokenInserted(4, L"");
  token_.OnTokenInserted(5, L"");
  token_.OnTokenInserted(6, L"");
  ExpectNoOpenSession();
  EXPECT_TRUE(token_.IsSlotKnown(4)) << "an uninitialised token is entered";
  EXPECT_EQ(token_.CertificatesOfSlot(4).size(), 1u);
  EXPECT_TRUE(token_.IsSlotKnown(5));
  EXPECT_TRUE(token_.CertificatesOfSlot(5).empty());
  EXPECT_FALSE(token_.IsSlotKnown(6));

  Sim(tokensim::Add(4, {{.der = TestCertificate("ca.pem")}}));
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
  Insert({.slot = 1,
          .certificates = {{.der = TestCertificate("user.pem")},
                           {.der = TestCertificate("ca.pem"), .hasContainer = false},
                           {.der = TestCertificate("user.der")}}});
  Insert({.slot = 2,
          .certificates = {{.der = TestCertificate("ca.pem"), .hasId = false}, {.der = TestCertificate("user.pem")}}});
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
  Insert({.slot = 1, .certificates = {{.der = TestCertificate("user.pem")}, {.der = TestCertificate("ca.pem")}}});
  const std::pair<Entry, uint32_t> failures[] = {
      {Entry::C_GetAttributeValue, 1}, {Entry::C_FindObjects, 1}, {Entry::C_OpenSession, 0}};
  for (const auto& [entry, after] : failures) {
    Sim(tokensim::Fail(entry, CKR_DEVICE_REMOVED, after));
    token_.OnTokenInserted(1, L"");
    EXPECT_FALSE(token_.IsSlotKnown(1)) << tokensim::NameOf(entry);
    ExpectNoOpenSession();
  }
  token_.OnTokenInserted(1, L"");
  EXPECT_EQ(token_.CertificatesOfSlot(1).size(), 2u);
}

// Certificates as read from the token; the key spec is set by the registration that follows.
bool SameCertificates(const std::vector<TokenCertificate>& view, const std::vector<TokenCertificate>& read) {
  return std::equal(view.begin(), view.end(), read.begin(), read.end(), [](const auto& a, const auto& b) {
    return a.slot == b.slot && a.object == b.object && a.value == b.value && a.id == b.id &&
           a.containerName == b.containerName;
  });
}

// While this thread enters and drops the token, two others read the table, one of them
// between object events: every view of the slot is none or the whole entry (the token's
// reader name, its certificates as read), and an object event during a removal leaves
// nothing behind. A view copied without the lock reads an entry as it is freed, whose bytes
// the heap has begun to reuse.
TEST_F(TokenAccessTest, TheTableIsWholeForAReaderOnAnotherThread) {
  constexpr int kRounds = 20;
  // Only readers that never run need more rounds to see the slot both ways.
  constexpr int kMostRounds = 1000;
  ASSERT_EQ(token_.Open(), CKR_OK);
  Insert({.slot = 1,
          .reader = "R1",
          .certificates = {{.der = TestCertificate("user.pem"), .key = true}, {.der = TestCertificate("ca.pem")}}});
  token_.OnTokenInserted(1, L"");
  const std::vector<TokenCertificate> whole = token_.CertificatesOfSlot(1);
  ASSERT_EQ(whole.size(), 2u);
  token_.OnTokenRemoved(1, false);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, wholeViews{0}, emptyViews{0};
  auto viewTheSlot = [&] {
    const std::wstring reader = token_.ReaderNameOfSlot(1);
    const std::vector<TokenCertificate> view = token_.CertificatesOfSlot(1);
    if (!reader.empty() && reader != L"R1") ++torn;
    if (view.empty()) {
      ++emptyViews;
    } else if (SameCertificates(view, whole)) {
      ++wholeViews;
    } else {
      ++torn;
    }
  };
  std::thread reader([&] {
    while (!done) viewTheSlot();
  });
  std::thread worker([&] {
    while (!done) {
      viewTheSlot();
      token_.OnObjectCreated(1, whole[0].object);
    }
  });
  for (int round = 0; round < kMostRounds && (round < kRounds || wholeViews == 0 || emptyViews == 0); ++round) {
    token_.OnTokenInserted(1, L"");
    token_.OnTokenRemoved(1, false);
  }
  done = true;
  reader.join();
  worker.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(wholeViews, 0);
  EXPECT_GT(emptyViews, 0);
  ExpectNoOpenSession();
  const CertBytes user = TestCertificate("user.der");
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
      Pump();
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return events_.size() >= count;
  }

  // Takes what has been posted so far.
  void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
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
  Sim(tokensim::Emit(7, 2));
  Sim(tokensim::Emit(65539, 65540, 42));
  Sim(tokensim::Emit(1, 5));
  Sim(tokensim::Fail(Entry::WaitForTokenEvent, CKR_GENERAL_ERROR, 0, 3));
  Sim(tokensim::Emit(2, 3, 9));
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
  // Close ended the monitor's wait and unloaded the module, so nothing is left to take an
  // event; every one taken before is in the queue.
  EXPECT_EQ(tokensim::WaitsInProgress(), 0);
  Sim(tokensim::Emit(1, 1));
  EXPECT_EQ(tokensim::EventsTaken(), 4);
  sink.Pump();
  EXPECT_EQ(sink.Events().size(), 4u) << "an event arrived after Close";
}

TEST_F(TokenAccessTest, AWaitThatKeepsFailingIsAskedAgainAfterGrowingPausesAndHeardOnceItRecovers) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  EventSink sink;
  Sim(tokensim::Fail(Entry::WaitForTokenEvent, CKR_DEVICE_ERROR, 0, tokensim::kEveryTime));
  tokensim::ResetCalls();
  const auto waits = [] { return tokensim::Calls()[static_cast<size_t>(Entry::WaitForTokenEvent)]; };
  ASSERT_EQ(token_.StartMonitor(sink.Window(), kTokenEventMessage), CKR_OK);
  ASSERT_TRUE(WaitUntil([&] { return waits() >= 1; }));
  const auto first = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return waits() >= 8; }));
  // Pauses of 10, 20, ... 640 ms came between; a monitor that asks again at once takes
  // a few milliseconds for the same calls. A slower machine only makes this longer.
  EXPECT_GE(std::chrono::steady_clock::now() - first, 1270ms);

  Sim(tokensim::Fail(Entry::WaitForTokenEvent, CKR_OK));
  Sim(tokensim::Emit(3, 1));
  ASSERT_TRUE(sink.WaitFor(1, 5s)) << "the module recovered, and its event was not heard";
  EXPECT_EQ(sink.Events()[0].wParam, (3u << 16) | 1u);
}

TEST_F(TokenAccessTest, AModuleSayingItIsFinalisedWhenNotByUsEndsNoMonitor) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  EventSink sink;
  Sim(tokensim::Fail(Entry::WaitForTokenEvent, CKR_CRYPTOKI_NOT_INITIALIZED));
  ASSERT_EQ(token_.StartMonitor(sink.Window(), kTokenEventMessage), CKR_OK);
  Sim(tokensim::Emit(4, 1));
  EXPECT_TRUE(sink.WaitFor(1, 5s)) << "the monitor ended on a 0x190 that Close did not cause";
}

// A token that comes while the slot list is read makes the list too small: it is read anew.
TEST_F(TokenAccessTest, ASlotListThatGrowsBetweenItsTwoCallsIsReadAgain) {
  Insert({.slot = 1});
  Sim(tokensim::Fail(Entry::C_GetSlotList, CKR_BUFFER_TOO_SMALL, 1));
  EXPECT_EQ(token_.Open(), CKR_OK);
  EXPECT_TRUE(token_.IsSlotKnown(1));
}

// Recorded while the module would not name it, the token in the slot is the same one until
// its name says otherwise.
TEST_F(TokenAccessTest, ATokenRecordedWithoutItsSerialNumberIsNotTakenForAnother) {
  Insert({.slot = 1});
  Sim(tokensim::Fail(Entry::C_GetTokenInfo, CKR_DEVICE_ERROR));
  ASSERT_EQ(token_.Open(), CKR_OK);
  ASSERT_TRUE(token_.IsSlotKnown(1));
  EXPECT_EQ(token_.SlotsReadInPart(), std::vector<CK_SLOT_ID>{1});
  EXPECT_FALSE(token_.HoldsAnotherToken(1));
  EXPECT_TRUE(token_.OnTokenInserted(1, L""));
  EXPECT_TRUE(token_.SlotsReadInPart().empty());
}

// A module whose wait outlives C_Finalize holds up Close for the limit only; the module
// stays loaded for the end of the process.
TEST_F(TokenAccessTest, CloseEndsWithinItsLimitWhenTheWaitIgnoresTheFinalisation) {
  ASSERT_EQ(token_.Open(), CKR_OK);
  EventSink sink;
  ASSERT_EQ(token_.StartMonitor(sink.Window(), kTokenEventMessage), CKR_OK);
  ASSERT_TRUE(WaitUntil([] { return tokensim::WaitsInProgress() > 0; }));
  Sim(tokensim::StubbornWait(true));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(token_.Close(), CKR_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_TRUE(ModuleLoaded());
  Sim(tokensim::StubbornWait(false));
  ::FreeLibrary(::GetModuleHandleW(kModuleName));
}

// One search for each class and one call for each object: every certificate with its key
// costs two calls beyond a fixed number for the token.
TEST_F(TokenAccessTest, AnInsertionReadsEachCertificateAndItsKeyInOneCallEach) {
  constexpr int kFixedCalls = 12;
  ASSERT_EQ(token_.Open(), CKR_OK);
  tokensim::Token token{.slot = 1};
  for (const char* name : {"user.pem", "user.der", "ca.pem"}) {
    token.certificates.push_back({.der = TestCertificate(name), .key = true});
  }
  Insert(token);
  tokensim::ResetCalls();
  ASSERT_TRUE(token_.OnTokenInserted(1, L""));
  EXPECT_LE(tokensim::ModuleCalls(tokensim::Calls()), kFixedCalls + 2 * static_cast<int>(token.certificates.size()));
}

class InfoPage : public TokenAccessTest {
 protected:
  void SetUp() override {
    TokenAccessTest::SetUp();
    const std::wstring browserFolder = ExecutableFolder() + L"browser stand in";
    ::CreateDirectoryW(browserFolder.c_str(), nullptr);
    browser_ = browserFolder + L"\\iexplore.exe";
    ASSERT_TRUE(CopyStandin(browser_));
    log_ = std::make_unique<StandinLog>(ExecutableFolder() + L"standin.log");
    RegisterBrowser(browser_);
  }
  void TearDown() override {
    RegisterBrowser(L"");
    TokenAccessTest::TearDown();
  }

  std::wstring browser_;
  std::unique_ptr<StandinLog> log_;
};

TEST_F(InfoPage, TheBrowserGetsTheAddressAsOneArgumentOncePerInsertion) {
  Insert({.slot = 1});
  ASSERT_EQ(token_.Open(), CKR_OK);
  const std::wstring url = L"http://info.example/page one?a=\"b c\"\\";
  token_.LaunchInfoPage(2, url);
  token_.LaunchInfoPage(1, L"");
  token_.LaunchInfoPage(1, url);
  token_.LaunchInfoPage(1, url);
  const std::string opened = "http://info.example/page one?a=\"b c\"\\";
  const std::vector<std::string> first = {"iexplore.exe", "no mutex", "1", opened};
  EXPECT_EQ(log_->LinesOnce([](const auto& lines) { return !lines.empty(); }), first);

  token_.OnTokenRemoved(1, false);
  token_.OnTokenInserted(1, L"");
  const std::string again = "http://info.example/again";
  token_.LaunchInfoPage(1, std::wstring(again.begin(), again.end()));
  // The page of the new insertion comes after any the first insertion opened.
  std::vector<std::string> both = first;
  both.insert(both.end(), {"iexplore.exe", "no mutex", "1", again});
  EXPECT_EQ(log_->LinesOnce([&](const auto& lines) { return !lines.empty() && lines.back() == again; }), both)
      << "the page was opened twice for one insertion, or not again for a new one";
}

}  // namespace
}  // namespace tessard::testing
