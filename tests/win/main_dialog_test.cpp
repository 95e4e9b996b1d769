#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>

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
  ASSERT_TRUE(dialog_->IsWorkerRunning());
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
  EXPECT_EQ(dialog_->QueuedEventCount(), 0u);
}

TEST_F(MainDialogTest, ObjectEventsAreHandledAtOnceWithoutWorker) {
  Start();
  dialog_->StopWorker();
  ASSERT_FALSE(dialog_->IsWorkerRunning());
  EXPECT_EQ(SendTokenEvent(1, 3, 11), 1);
  EXPECT_EQ(SendTokenEvent(1, 4, 12), 1);
  const auto created = token_.Calls("OnObjectCreated");
  const auto deleted = token_.Calls("OnObjectDeleted");
  ASSERT_EQ(created.size(), 1u);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(created[0].thread, ::GetCurrentThreadId());
  EXPECT_EQ(deleted[0].data, 12u);
  EXPECT_EQ(dialog_->QueuedEventCount(), 0u);
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
  EXPECT_TRUE(dialog_->IsTrayIconShown());
  ASSERT_FALSE(notifications.empty());
  EXPECT_EQ(notifications[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(notifications[0].tip, L"Orvane-CA Token Manager");
}

TEST_F(MainDialogTest, StartWithoutTokenAddsNoIcon) {
  // Start returns once the start-up timer's handler has run to its end.
  Start();
  EXPECT_FALSE(dialog_->IsTrayIconShown());
  EXPECT_TRUE(notifications.empty());
}

TEST_F(MainDialogTest, InsertionOfOwnTokenShowsIconAndBalloonThenChecksExpiry) {
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  EXPECT_EQ(SendTokenEvent(4, 1, 0), 1);
  EXPECT_TRUE(dialog_->IsTrayIconShown());
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
  EXPECT_TRUE(dialog_->IsTrayIconShown());
}

TEST_F(MainDialogTest, SilentMessageRemovesTheIconForGood) {
  token_.answers.hasTokens = true;
  Start();
  ASSERT_TRUE(dialog_->IsTrayIconShown());
  ::SendMessageW(dialog_->Window(), instanceMessage_, 3, 0);
  EXPECT_FALSE(dialog_->IsTrayIconShown());
  EXPECT_FALSE(dialog_->IsTrayIconWanted());
  token_.answers.slotKnown = true;
  notifications.clear();
  SendTokenEvent(1, 1, 0);
  EXPECT_FALSE(dialog_->IsTrayIconShown());
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
  EXPECT_FALSE(dialog_->IsWorkerRunning());
  EXPECT_EQ(token_.Calls().back().name, "Close");
}

TEST_F(MainDialogTest, NotificationsSpeakTheLanguageOfTheSettings) {
  HKEY created = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, nullptr),
            ERROR_SUCCESS);
  UniqueRegKey key(created);
  ASSERT_EQ(::RegSetValueExW(key.get(), L"InstallLanguageId", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1066"), 10),
            ERROR_SUCCESS);
  LangSetFolder(ExecutableFolder());
  LangSetBaseName(L"lang\\zxtokd");
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  SendTokenEvent(2, 1, 0);
  SendTokenEvent(2, 262, 0);
  ::RegDeleteValueW(key.get(), L"InstallLanguageId");
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
