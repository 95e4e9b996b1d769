// The main dialog's icon over its life, the progress reports it shows, and what an insertion
// does once its expiry warning is closed.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "resources/resource.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/test_key.h"
#include "token/product_info.h"

namespace tessard::testing {
namespace {

using namespace std::chrono_literals;

// The timer is pending when it can still be killed (which the probe does).
bool TimerPending(HWND window, UINT_PTR id) { return ::KillTimer(window, id) != FALSE; }

// The notifications with a text, with their seconds.
std::vector<std::pair<std::wstring, UINT>> Balloons() {
  std::vector<std::pair<std::wstring, UINT>> balloons;
  for (const Notify& notify : notifications) {
    if ((notify.flags & NIF_INFO) && !notify.info.empty()) balloons.emplace_back(notify.info, notify.data.uTimeout);
  }
  return balloons;
}

using Tray = MainDialogTest;

TEST_F(Tray, TheIconLeavesFiveSecondsAfterTheLastTokenUnlessOneComesBack) {
  token_.answers.hasTokens = true;
  Start();
  token_.answers.slotKnown = true;
  const auto removeLast = [this] {
    token_.answers.hasTokens = false;
    SendTokenEvent(1, 2, 0);
  };
  removeLast();
  token_.answers.hasTokens = true;
  SendTokenEvent(1, 1, 0);
  EXPECT_FALSE(TimerPending(dialog_->Window(), TimerIconRemoval)) << "the insertion left the removal pending";

  removeLast();
  const auto removed = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([this] { return !Probe().TrayIconShown(); }, 10s));
  EXPECT_GE(std::chrono::steady_clock::now() - removed, 4900ms);
  ASSERT_GE(notifications.size(), 3u);
  EXPECT_EQ(notifications.back().message, static_cast<DWORD>(NIM_DELETE));
  const Notify& cleared = notifications[notifications.size() - 2];
  EXPECT_EQ(cleared.flags, static_cast<UINT>(NIF_INFO)) << "the notification is cleared first";
  EXPECT_EQ(cleared.info, L"");
  EXPECT_FALSE(TimerPending(dialog_->Window(), TimerIconRemoval)) << "the timer outlived the icon";
}

TEST_F(Tray, TheShellsRestartBringsTheIconBackWithTheCaptionUnlessItWasGivenUp) {
  Start();
  EXPECT_EQ(::SendMessageW(dialog_->Window(), TaskbarCreatedMessage(), 0, 0), TRUE);
  ASSERT_EQ(notifications.size(), 1u);
  EXPECT_EQ(notifications[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(notifications[0].tip, L"Orvane-CA Token Manager V3.0");
  EXPECT_EQ(notifications[0].data.uCallbackMessage, WM_TRAY_NOTIFY);
  EXPECT_FALSE(Probe().TrayIconShown()) << "whether an icon was shown stays as it was";

  ::SendMessageW(dialog_->Window(), instanceMessage_, 3, 0);
  notifications.clear();
  EXPECT_EQ(::SendMessageW(dialog_->Window(), TaskbarCreatedMessage(), 0, 0), FALSE);
  EXPECT_TRUE(notifications.empty());
}

TEST_F(Tray, ProgressAnimatesTheIconAndNamesTheSavedItem) {
  token_.answers.hasTokens = true;
  Start();
  SendTokenEvent(1, 259, 7);
  ::SendMessageW(dialog_->Window(), WM_TIMER, TimerIconAnimation, 0);
  SendTokenEvent(1, 260, 3);
  EXPECT_EQ(IconChanges(), (std::vector<int>{IDI_TOKEN_BUSY1, IDI_TOKEN_BUSY2, IDI_TOKEN}));
  EXPECT_EQ(Balloons(), (std::vector<std::pair<std::wstring, UINT>>{{L"Private Key is saved successfully!", 10000}}))
      << "nothing for datum 7";
}

TEST_F(Tray, AWipedTokenIsAnnouncedAndUnregisteredKnownOrNot) {
  token_.answers.hasTokens = true;
  Start();
  SendTokenEvent(9, 266, 0);
  SendTokenEvent(9, 267, 0);
  EXPECT_EQ(Balloons(),
            (std::vector<std::pair<std::wstring, UINT>>{{L"USBKey is Low level initialized successfully!", 10000},
                                                        {L"Failed to low loevel initialize USBKey!", 10000}}));
  const auto unregistered = token_.Calls("UnregisterSlotCertificates");
  ASSERT_EQ(unregistered.size(), 2u);
  EXPECT_EQ(unregistered[1].slot, 9u);
  EXPECT_EQ(unregistered[1].data, 1u) << "the list is cleared";
}

// What the timer below does once the expiry warning of this thread is open.
std::function<void()> whileWarningOpen;
bool warningSeen = false;

void CALLBACK ActOnWarning(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND warning = ::FindWindowW(MAKEINTATOM(32770), L"Orvane-CA Token Manager");
  if (warning == nullptr || ::GetWindowThreadProcessId(warning, nullptr) != ::GetCurrentThreadId()) return;
  ::KillTimer(nullptr, timer);
  warningSeen = true;
  whileWarningOpen();
  if (::IsWindow(warning)) ::PostMessageW(warning, WM_COMMAND, IDOK, 0);
}

// Runs `insert`; `whileOpen` runs once from the modal loop of the expiry warning it opens,
// which is then closed with OK. False when no warning opened.
bool WithExpiryWarning(const std::function<void()>& insert, std::function<void()> whileOpen) {
  whileWarningOpen = std::move(whileOpen);
  warningSeen = false;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &ActOnWarning);
  insert();
  ::KillTimer(nullptr, timer);
  return warningSeen;
}

TEST_F(Tray, AfterItsExpiryWarningAnInsertionGoesOnOnlyForARecordedTokenAndARunningProgram) {
  TestKey key(kProductInfo.settingsKeyPath);
  key.SetText(L"Path", L"C:\\Token");
  Start();
  token_.answers.slotKnown = true;
  token_.answers.hasTokens = true;
  token_.answers.expiring = true;
  const auto insert = [this] { SendTokenEvent(1, 1, 0); };
  ASSERT_TRUE(WithExpiryWarning(insert, [] {}));
  EXPECT_EQ(opened.size(), 1u) << "the manager starts once the warning is closed";

  ASSERT_TRUE(WithExpiryWarning(insert, [this] {
    SendTokenEvent(1, 2, 0);
    token_.answers.slotKnown = false;
  }));
  EXPECT_EQ(opened.size(), 1u) << "the manager started for a token that has left";

  token_.answers.slotKnown = true;
  ASSERT_TRUE(WithExpiryWarning(insert, [this] { ::SendMessageW(dialog_->Window(), instanceMessage_, 1, 0); }));
  EXPECT_EQ(dialog_->Window(), nullptr);
  EXPECT_EQ(opened.size(), 1u) << "the manager started by a program told to end";
}

}  // namespace
}  // namespace tessard::testing
