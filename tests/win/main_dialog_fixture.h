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
#include "app/message_box.h"
#include "app/popup_menu.h"
#include "app/shell_notify.h"
#include "app/shell_open.h"
#include "platform/executable.h"
#include "tests/win/recording_token_access.h"

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

// The icons that state changes gave the shell, in order.
std::vector<HICON> IconChanges();
// The icon of a resource as the tray gets it: a shared icon is the same handle at each load.
HICON TrayIconOf(int resource);

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

// Dispatches this thread's messages until `done` holds; false once `limit` has passed.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the dialog with the settings as they stand and lets its start-up timer run.
  void Start();

  LRESULT SendTokenEvent(uint32_t slot, uint32_t code, uint32_t data);

  RecordingTokenAccess token_;
  Settings settings_;
  std::unique_ptr<CTessardDlg> dialog_;
  UINT instanceMessage_ = 0;
  MessageBoxFunction previousBox_ = nullptr;
  ShellNotifyFunction previousNotify_ = nullptr;
  ShellOpenFunction previousOpen_ = nullptr;
  TrackMenuFunction previousMenu_ = nullptr;
};

}  // namespace tessard::testing
