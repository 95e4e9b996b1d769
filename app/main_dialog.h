#pragma once
// The hidden main dialog: the program's only long-lived window and the single place where
// instance messages, token events, timers and tray notifications arrive. It routes each to
// its handler and runs the insertion and removal sequences; the tray icon, the event
// worker, the settings and the manager are parts of their own.

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/dialog_base.h"
#include "app/event_worker.h"
#include "app/progress.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "token/token_access_interface.h"
#include "token/token_event.h"

namespace tessard {

enum DialogTimer : UINT_PTR {
  TimerIconAnimation = TrayIcon::kAnimationTimer,
  TimerStartup = 2,
  TimerIconRemoval = 3,
  TimerReadAgain = 4,  // tokens whose reading a module error cut short
};

// The shell's "TaskbarCreated" broadcast, registered once at program start.
UINT TaskbarCreatedMessage();

class CTessardDlg : public DialogBase {
 public:
  // `token` and `settings` outlive the dialog.
  CTessardDlg(UINT instanceMessage, HWND parent, TokenAccessInterface& token, const Settings& settings);
  ~CTessardDlg() override;

  bool Create() { return DialogBase::Create(IDD_TESSARD_DIALOG, parent_); }

  // Read by tests.
  bool IsTrayIconShown() const { return m_tray.IsShown(); }
  bool IsTrayIconWanted() const { return m_bTrayIconWanted; }
  bool IsWorkerRunning() const { return m_worker.IsRunning(); }
  size_t QueuedEventCount() { return m_worker.QueuedCount(); }

  // Ends the worker; afterwards events 3 to 5 are handled on the window thread.
  void StopWorker() { m_worker.Stop(); }

 protected:
  BOOL OnInitDialog() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnCancel() override {}

 private:
  void OnTokenEvent(WPARAM wParam, LPARAM lParam);
  void OnWorkerEvent(const TokenEvent& event);
  void OnInstanceMessage(WPARAM wParam);
  void OnTimer(UINT_PTR id);
  void OnStartupTimer();
  void OnInsertion(CK_SLOT_ID slot);
  // The steps after a token of this system was recorded: icon, notification, update,
  // expiry check and manager.
  void OnTokenRecorded(CK_SLOT_ID slot);
  void ReadAgainLater(CK_SLOT_ID slot);
  void OnReadAgainTimer();
  void OnRemoval(CK_SLOT_ID slot);
  void OnProgress(CK_SLOT_ID slot, uint32_t code, uint32_t datum);
  void OnDestroy();
  void OnPaint();
  void ShowStartupFailure(HWND owner, const TextId& text);
  void HideFromTaskbar();
  void SetCaption();

  void LoadSettings();
  bool LaunchManager();
  void AddTrayIcon();
  void ShowBalloon(const std::wstring& text, int seconds) { m_tray.ShowBalloon(text, seconds); }
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  BOOL OnTaskbarCreated();

  HWND parent_;
  const Settings& settings_;
  std::wstring m_strCaption;
  HICON m_hIcon;
  UINT m_nInstanceMessage;
  TokenAccessInterface& m_token;
  TrayIcon m_tray;
  EventWorker m_worker;
  std::wstring m_strBrowserUrl;
  std::wstring m_strUpdateFolder;
  int m_nWarnDays = 30;
  std::wstring m_strManagerExe;
  int m_nLanguageId = 1033;
  bool m_bTrayIconWanted = true;
  bool m_bNonCache = false;
  // Set once the program is told to end; a modal dialog of an insertion may still be
  // returning then.
  bool m_bEnding = false;
  // Slots to read again, with the tries left; removal cancels.
  std::map<CK_SLOT_ID, int> m_readAgain;
  bool m_bReadingAgain = false;
};

}  // namespace tessard
