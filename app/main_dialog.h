#pragma once
// The hidden main dialog: the program's only long-lived window and the single place where
// instance messages, token events, timers and tray notifications arrive. It routes each to
// its handler and runs the insertion and removal sequences; the tray icon, the event
// worker, the settings and the manager are parts of their own.

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/dialog_base.h"
#include "app/event_worker.h"
#include "app/progress.h"
#include "app/read_again.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "token/token_access_interface.h"
#include "token/token_event.h"
#include "update/update.h"

namespace tessard {

enum DialogTimer : UINT_PTR {
  TimerIconAnimation = TrayIcon::kAnimationTimer,
  TimerStartup = 2,
  TimerIconRemoval = 3,
  TimerReadAgain = 4,  // tokens whose reading a module error cut short
};

// Posted by the worker: wParam is a slot whose token is to be read again.
inline constexpr UINT kReadAgainRequest = WM_APP + 1;

// The shell's "TaskbarCreated" broadcast, registered once at program start.
UINT TaskbarCreatedMessage();

class CTessardDlg : public DialogBase {
 public:
  // `token` and `settings` outlive the dialog.
  CTessardDlg(UINT instanceMessage, HWND parent, TokenAccessInterface& token, const Settings& settings);
  ~CTessardDlg() override;

  bool Create() { return DialogBase::Create(IDD_TESSARD_DIALOG, parent_); }

 protected:
  BOOL OnInitDialog() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnCancel() override {}

 private:
  // What the dialog's tests look at inside it.
  friend struct MainDialogProbe;

  void OnTokenEvent(WPARAM wParam, LPARAM lParam);
  void OnWorkerEvent(const TokenEvent& event);
  void OnInstanceMessage(WPARAM wParam);
  void OnTimer(UINT_PTR id);
  void OnStartupTimer();
  void OnInsertion(CK_SLOT_ID slot);
  // The steps after a token of this system was recorded: icon, notification, update,
  // expiry check and manager.
  void OnTokenRecorded(CK_SLOT_ID slot);
  // The update agent's run; Stopped when the program was asked to end meanwhile.
  UpdateRun RunUpdateAgent();
  // The expiry dialog when a certificate of the slot's token not checked before expires soon;
  // false when the insertion's steps are not to go on after it.
  bool WarnOfExpiry(CK_SLOT_ID slot);
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
  void EndManager();
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
  int m_nWarnDays = 30;
  bool m_bTrayIconWanted = true;
  // Set once the program is told to end; a modal dialog of an insertion may still be
  // returning then.
  bool m_bEnding = false;
  // Slots whose reading was cut short; removal cancels.
  ReadAgain m_readAgain;
};

}  // namespace tessard
