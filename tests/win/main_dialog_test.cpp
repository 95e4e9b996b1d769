#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/instance_message.h"
#include "localisation/lang.h"
#include "platform/registry.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/test_key.h"
#include "token/product_info.h"

namespace tessard {
namespace {

using testing::BalloonShown;
using testing::boxes;
using testing::MainDialogTest;
using testing::notifications;
using testing::PumpUntil;
using testing::requestedUrls;

TEST_F(MainDialogTest, UnknownCodesAreIgnoredWithResultOne) {
  Start();
  token_.ClearCalls();
  for (uint32_t code : {0u, 6u, 100u, 255u, 271u, 1000u, 0xFFFFu}) {
    EXPECT_EQ(SendTokenEvent(2, code, 9), 1) << code;
  }
  // The worker takes events in order: once this marker is handled, any of the codes above
  // that had gone its way would have been handled too.
  SendTokenEvent(2, 3, 77);
  ASSERT_TRUE(PumpUntil([this] { return !token_.Calls("OnObjectCreated").empty(); }));
  const auto calls = token_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].data, 77u);
}

TEST_F(MainDialogTest, ObjectEventsGoToTheWorkerInOrder) {
  Start();
  ASSERT_TRUE(Probe().WorkerRunning());
  EXPECT_EQ(SendTokenEvent(7, 3, 0x1234), 1);
  EXPECT_EQ(SendTokenEvent(7, 5, 1), 1);
  EXPECT_EQ(SendTokenEvent(7, 4, 0x1234), 1);
  ASSERT_TRUE(PumpUntil([this] { return !token_.Calls("OnObjectDeleted").empty(); }));
  const auto created = token_.Calls("OnObjectCreated");
  const auto deleted = token_.Calls("OnObjectDeleted");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].slot, 7u);
  EXPECT_EQ(created[0].data, 0x1234u);
  EXPECT_NE(created[0].thread, ::GetCurrentThreadId());
  EXPECT_EQ(deleted[0].thread, created[0].thread);
  EXPECT_EQ(Probe().QueuedEvents(), 0u);
}

TEST_F(MainDialogTest, ObjectEventsAreHandledAtOnceWithoutWorker) {
  Start();
  Probe().StopWorker();
  ASSERT_FALSE(Probe().WorkerRunning());
  EXPECT_EQ(SendTokenEvent(1, 3, 11), 1);
  EXPECT_EQ(SendTokenEvent(1, 4, 12), 1);
  const auto created = token_.Calls("OnObjectCreated");
  const auto deleted = token_.Calls("OnObjectDeleted");
  ASSERT_EQ(created.size(), 1u);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(created[0].thread, ::GetCurrentThreadId());
  EXPECT_EQ(deleted[0].data, 12u);
  EXPECT_EQ(Probe().QueuedEvents(), 0u);
}

TEST_F(MainDialogTest, FailingModuleShowsTheBoxAndEndsTheDialog) {
  token_.answers.open = CKR_FUNCTION_FAILED;
  Start();
  ASSERT_TRUE(PumpUntil([this] { return dialog_->Window() == nullptr; }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Failed to load PKCS#11 library, please check your installation");
  EXPECT_EQ(boxes[0].caption, L"Orvane-CA Token Manager V3.0");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_ICONERROR | MB_SETFOREGROUND));
  EXPECT_TRUE(token_.Calls("StartMonitor").empty());
  // The ordinary shutdown ran: purge, then close.
  const auto calls = token_.Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[calls.size() - 2].name, "PurgeProviderCertificates");
  EXPECT_EQ(calls.back().name, "Close");
}

TEST_F(MainDialogTest, FailingMonitorShowsItsOwnBox) {
  token_.answers.startMonitor = CKR_GENERAL_ERROR;
  Start();
  ASSERT_TRUE(PumpUntil([this] { return dialog_->Window() == nullptr; }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Can not start USBKey monitor, the certificate register works unperfectly");
  EXPECT_EQ(token_.Calls("StartMonitor").at(0).data, kTokenEventMessage);
}

TEST_F(MainDialogTest, StartWithTokenAddsTheIcon) {
  token_.answers.hasTokens = true;
  Start();
  EXPECT_TRUE(Probe().TrayIconShown());
  ASSERT_FALSE(notifications.empty());
  EXPECT_EQ(notifications[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(notifications[0].tip, L"Orvane-CA Token Manager");
}

TEST_F(MainDialogTest, StartWithoutTokenAddsNoIcon) {
  // Start returns once the start-up timer's handler has run to its end.
  Start();
  EXPECT_FALSE(Probe().TrayIconShown());
  EXPECT_TRUE(notifications.empty());
}

TEST_F(MainDialogTest, InsertionOfOwnTokenShowsIconAndBalloonThenChecksExpiry) {
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  EXPECT_EQ(SendTokenEvent(4, 1, 0), 1);
  EXPECT_TRUE(Probe().TrayIconShown());
  ASSERT_GE(notifications.size(), 3u);
  EXPECT_EQ(notifications[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_TRUE(BalloonShown(L"Orvane-CA Token is inserted!"));
  const auto expiry = token_.Calls("CheckExpiry");
  ASSERT_EQ(expiry.size(), 1u);
  EXPECT_EQ(expiry[0].slot, 4u);
  EXPECT_EQ(expiry[0].data, 30u);
}

TEST_F(MainDialogTest, InsertionOfForeignTokenShowsNothing) {
  Start();
  EXPECT_EQ(SendTokenEvent(4, 1, 0), 1);
  EXPECT_EQ(token_.Calls("OnTokenInserted").size(), 1u);
  EXPECT_TRUE(token_.Calls("CheckExpiry").empty());
  EXPECT_TRUE(notifications.empty());
}

// The read-again timer's ticks, sent directly: the test does not wait for them.
TEST_F(MainDialogTest, ATokenReadInPartIsReadAgainThreeTimesAtMostUntilRemoved) {
  Start();
  token_.answers.readWhole = false;
  SendTokenEvent(4, 1, 0);
  const auto tick = [this] { ::SendMessageW(dialog_->Window(), WM_TIMER, TimerReadAgain, 0); };
  for (int i = 0; i < 5; ++i) tick();
  EXPECT_EQ(token_.Calls("OnTokenInserted").size(), 4u) << "the insertion and three tries";

  token_.ClearCalls();
  SendTokenEvent(5, 1, 0);
  tick();
  token_.answers.readWhole = true;
  tick();
  tick();
  EXPECT_EQ(token_.Calls("OnTokenInserted").size(), 3u) << "no try after a whole read";

  token_.ClearCalls();
  token_.answers.readWhole = false;
  SendTokenEvent(6, 1, 0);
  SendTokenEvent(6, 2, 0);
  tick();
  EXPECT_EQ(token_.Calls("OnTokenInserted").size(), 1u) << "the removal ended the tries";
}

TEST_F(MainDialogTest, ATokenFirstRecordedByATryIsAnnouncedOnce) {
  token_.answers.readInPart = {3};
  token_.answers.readWhole = false;
  Start();
  ::SendMessageW(dialog_->Window(), WM_TIMER, TimerReadAgain, 0);
  EXPECT_TRUE(notifications.empty()) << "nothing is shown for a failed try";
  token_.answers.readWhole = true;
  token_.answers.knownOnceRead = true;
  token_.answers.hasTokens = true;
  ::SendMessageW(dialog_->Window(), WM_TIMER, TimerReadAgain, 0);
  ::SendMessageW(dialog_->Window(), WM_TIMER, TimerReadAgain, 0);
  EXPECT_TRUE(BalloonShown(L"Orvane-CA Token is inserted!"));
  EXPECT_EQ(token_.Calls("CheckExpiry").size(), 1u);
  EXPECT_EQ(token_.Calls("OnTokenInserted").size(), 2u);
}

TEST_F(MainDialogTest, ATokenKnownFromAPartReadIsCheckedForExpiryAgainOnceReadWhole) {
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  token_.answers.readWhole = false;
  SendTokenEvent(4, 1, 0);
  token_.answers.readWhole = true;
  ::SendMessageW(dialog_->Window(), WM_TIMER, TimerReadAgain, 0);
  EXPECT_EQ(token_.Calls("CheckExpiry").size(), 2u) << "the certificates the try found were not checked";
}

TEST_F(MainDialogTest, AnObjectEventCutShortReadsTheTokenAgain) {
  Start();
  token_.answers.slotKnown = true;
  token_.answers.objectRegistered = false;
  SendTokenEvent(3, 3, 9);
  ASSERT_TRUE(PumpUntil([this] { return Probe().ReadAgainPending(); }));
  ::SendMessageW(dialog_->Window(), WM_TIMER, TimerReadAgain, 0);
  ASSERT_EQ(token_.Calls("OnTokenInserted").size(), 1u);
  EXPECT_EQ(token_.Calls("OnTokenInserted")[0].slot, 3u);
}

HWND endingWindow = nullptr;
UINT endingMessage = 0;

// The installation the agent waits for asks the program to end, as an installer does.
void AskToEnd(DWORD) { ::PostMessageW(endingWindow, endingMessage, kInstanceTerminate, 0); }

TEST_F(MainDialogTest, AnUpdateRunCutShortByTheEndStopsTheInsertionThere) {
  testing::TestKey key(kProductInfo.settingsKeyPath);
  key.SetText(L"Path", L"C:\\Token");
  const UniqueHandle installation(
      ::CreateMutexW(nullptr, FALSE, L"Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex"));
  const auto pause = Pause.Replace(&AskToEnd);
  Start();
  endingWindow = dialog_->Window();
  endingMessage = instanceMessage_;
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  SendTokenEvent(2, 1, 0);
  EXPECT_TRUE(requestedUrls.empty()) << "the configuration was fetched";
  EXPECT_TRUE(token_.Calls("CheckExpiry").empty());
  EXPECT_TRUE(testing::opened.empty()) << "the manager was started";
  EXPECT_TRUE(PumpUntil([this] { return dialog_->Window() == nullptr; })) << "the request to end was lost";
}

TEST_F(MainDialogTest, AnotherTokenInARecordedSlotIsARemovalThenAnInsertion) {
  token_.answers.hasTokens = true;
  Start();
  token_.answers.slotKnown = true;
  token_.answers.anotherToken = true;
  SendTokenEvent(2, 1, 0);
  const auto calls = token_.Calls();
  const auto removed =
      std::find_if(calls.begin(), calls.end(), [](const auto& c) { return c.name == "OnTokenRemoved"; });
  const auto inserted =
      std::find_if(calls.begin(), calls.end(), [](const auto& c) { return c.name == "OnTokenInserted"; });
  ASSERT_NE(removed, calls.end());
  EXPECT_LT(removed, inserted);
  EXPECT_TRUE(BalloonShown(L"Orvane-CA Token is removed!"));
  EXPECT_TRUE(BalloonShown(L"Orvane-CA Token is inserted!"));
}

TEST_F(MainDialogTest, RemovalOfKnownTokenDropsItWithoutClosingBrowser) {
  token_.answers.hasTokens = true;
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = false;
  EXPECT_EQ(SendTokenEvent(5, 2, 0), 1);
  const auto removed = token_.Calls("OnTokenRemoved");
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0].slot, 5u);
  EXPECT_EQ(removed[0].data, 0u);
  EXPECT_TRUE(BalloonShown(L"Orvane-CA Token is removed!"));
  // The icon stays for the delayed removal.
  EXPECT_TRUE(Probe().TrayIconShown());
}

TEST_F(MainDialogTest, SilentMessageRemovesTheIconForGood) {
  token_.answers.hasTokens = true;
  Start();
  ASSERT_TRUE(Probe().TrayIconShown());
  ::SendMessageW(dialog_->Window(), instanceMessage_, 3, 0);
  EXPECT_FALSE(Probe().TrayIconShown());
  EXPECT_FALSE(Probe().TrayIconWanted());
  token_.answers.slotKnown = true;
  notifications.clear();
  SendTokenEvent(1, 1, 0);
  EXPECT_FALSE(Probe().TrayIconShown());
  EXPECT_TRUE(notifications.empty());
  EXPECT_EQ(token_.Calls("CheckExpiry").size(), 1u);
}

TEST_F(MainDialogTest, CloseAndEscapeDoNotEndTheDialog) {
  Start();
  ::SendMessageW(dialog_->Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  ::SendMessageW(dialog_->Window(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(::IsWindow(dialog_->Window()));
}

TEST_F(MainDialogTest, TerminateMessageDestroysTheWindow) {
  Start();
  ::SendMessageW(dialog_->Window(), instanceMessage_, 1, 0);
  EXPECT_EQ(dialog_->Window(), nullptr);
  EXPECT_FALSE(Probe().WorkerRunning());
  EXPECT_EQ(token_.Calls().back().name, "Close");
}

TEST_F(MainDialogTest, NotificationsSpeakTheLanguageOfTheSettings) {
  testing::TestKey key(kProductInfo.settingsKeyPath);
  key.SetText(L"InstallLanguageId", L"1066");
  LangSetFolder(ExecutableFolder());
  LangSetBaseName(L"lang\\zxtokd");
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  SendTokenEvent(2, 1, 0);
  SendTokenEvent(2, 262, 0);
  LangSetId(1033);
  EXPECT_TRUE(BalloonShown(L"Orvane-CA Token \u0111\u00E3 \u0111\u01B0\u1EE3c c\u1EAFm v\u00E0o!"));
  EXPECT_TRUE(BalloonShown(L"\u0110ang sinh c\u1EB7p kh\u00F3a, vui l\u00F2ng \u0111\u1EE3i..."));
}

TEST_F(MainDialogTest, ASettingWithoutDigitsLeavesTheLanguageInForce) {
  testing::TestKey key(kProductInfo.settingsKeyPath);
  key.SetText(L"InstallLanguageId", L"Vietnamese");
  LangSetFolder(ExecutableFolder());
  LangSetBaseName(L"lang\\zxtokd");
  LangSetId(1066);
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  SendTokenEvent(2, 1, 0);
  EXPECT_TRUE(BalloonShown(L"Orvane-CA Token \u0111\u00E3 \u0111\u01B0\u1EE3c c\u1EAFm v\u00E0o!"));
}

}  // namespace
}  // namespace tessard
