#pragma once
// The main dialog in a test: paired with the recording stand-in for token access, with the
// seams of message boxes, the shell's notify icon, the shell's "open" and the popup menu
// recording what the dialog asks of them.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "platform/executable.h"
#include "platform/system_calls.h"
#include "tests/win/icon_probe.h"
#include "tests/win/recording_token_access.h"

namespace tessard {

// What the tests look at inside the dialog.
struct MainDialogProbe {
  CTessardDlg& dialog;

  bool TrayIconShown() const { return dialog.m_tray.IsShown(); }
  bool TrayIconWanted() const { return dialog.m_bTrayIconWanted; }
  bool WorkerRunning() const { return dialog.m_worker.IsRunning(); }
  size_t QueuedEvents() const { return dialog.m_worker.QueuedCount(); }
  bool ReadAgainPending() const { return dialog.m_readAgain.Pending(); }
  // Afterwards events 3 to 5 are handled on the window thread.
  void StopWorker() const { dialog.m_worker.Stop(); }
};

}  // namespace tessard

namespace tessard::testing {

struct Box {
  std::wstring text;
  std::wstring caption;
  UINT style;
};
extern std::vector<Box> boxes;

struct Notify {
  DWORD message;
  UINT flags;
  std::wstring tip;
  std::wstring info;
  NOTIFYICONDATAW data;  // as the dialog passed it
};
extern std::vector<Notify> notifications;
// What the recorder answers the program; the shell's answer is not reported either way.
extern BOOL shellAnswer;
BOOL RecordNotify(DWORD message, NOTIFYICONDATAW* data);
int RecordBox(HWND, const wchar_t* text, const wchar_t* caption, UINT style);
void RecordOpen(const wchar_t* path);
UINT RecordMenu(HMENU menu, POINT, HWND);

// The icon resources whose images state changes gave the shell, in order.
std::vector<int> IconChanges();

// The files the shell was asked to open.
extern std::vector<std::wstring> opened;

// Each menu tracked, as it was built, and the commands the next ones return (0 once none is
// left, as for a dismissed menu).
struct MenuItem {
  UINT command;
  std::wstring text;
  bool disabled;
  bool operator==(const MenuItem&) const = default;
};
extern std::vector<std::vector<MenuItem>> menus;
extern std::vector<UINT> choices;

bool BalloonShown(const std::wstring& text);

// The addresses the update agent asked for, each refused as an unreachable server would be.
extern std::vector<std::wstring> requestedUrls;
HINTERNET RefuseUrl(HINTERNET, const wchar_t* url, DWORD);

// Dispatches this thread's messages until `done` holds; false once `limit` has passed.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the dialog with the settings as they stand and lets its start-up timer run.
  void Start();

  LRESULT SendTokenEvent(uint32_t slot, uint32_t code, uint32_t data);
  MainDialogProbe Probe() const { return {*dialog_}; }

  RecordingTokenAccess token_;
  Settings settings_;
  std::unique_ptr<CTessardDlg> dialog_;
  UINT instanceMessage_ = 0;

 private:
  const decltype(ShowMessageBox)::Replacement box_ = ShowMessageBox.Replace(&RecordBox);
  const decltype(ShellNotify)::Replacement notify_ = ShellNotify.Replace(&RecordNotify);
  const decltype(ShellOpen)::Replacement open_ = ShellOpen.Replace(&RecordOpen);
  const decltype(TrackMenu)::Replacement menu_ = TrackMenu.Replace(&RecordMenu);
  // The dialog's insertions run the update agent: it reaches no network in these tests.
  const decltype(OpenUrl)::Replacement offline_ = OpenUrl.Replace(&RefuseUrl);
};

}  // namespace tessard::testing
