#pragma once
// The hidden main dialog: the program's only long-lived window and the single place where
// instance messages, token events, timers and tray notifications arrive.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "app/dialog_base.h"
#include "platform/handles.h"
#include "platform/thread.h"
#include "token/token_access.h"
#include "token/token_event.h"

namespace tessard {

inline constexpr UINT WM_TRAY_NOTIFY = WM_USER + 12;
inline constexpr UINT kTrayIconId = 128;

enum DialogTimer : UINT_PTR {
  TimerIconAnimation = 1,
  TimerStartup = 2,
  TimerIconRemoval = 3,
};

// The shell's "TaskbarCreated" broadcast, registered once at program start.
UINT TaskbarCreatedMessage();

// The first running process whose executable file name is `name` exactly, opened for
// termination; empty when there is none.
UniqueHandle FindProcessByName(const std::wstring& name);

class CTessardDlg : public DialogBase {
 public:
  CTessardDlg(UINT instanceMessage, HWND parent);
  ~CTessardDlg() override;

  bool Create() { return DialogBase::Create(102, parent_); }

  // Read by tests and by the tray code.
  bool IsTrayIconShown() const { return m_bTrayIconShown; }
  bool IsTrayIconWanted() const { return m_bTrayIconWanted; }
  bool IsWorkerRunning() const { return m_worker.IsRunning(); }
  size_t QueuedEventCount();

  // Signals the worker to end and waits for it; afterwards events 3 to 5 are handled on
  // the window thread.
  void StopWorker();

 protected:
  BOOL OnInitDialog() override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnCancel() override {}

 private:
  void OnTokenEvent(WPARAM wParam, LPARAM lParam);
  void OnInstanceMessage(WPARAM wParam);
  void OnTimer(UINT_PTR id);
  void OnStartupTimer();
  void OnInsertion(CK_SLOT_ID slot);
  void OnRemoval(CK_SLOT_ID slot);
  void OnDestroy();
  void OnPaint();
  void ShowStartupFailure(HWND owner, int textId, const wchar_t* english);
  void TerminateManager();
  void HideFromTaskbar();
  void SetCaption();

  bool StartWorker();
  void QueueEvent(const TokenEvent& event);
  std::optional<TokenEvent> TakeEvent();
  void HandleWorkerEvent(const TokenEvent& event);
  static int32_t WorkerMain(void* dialog);

  // Tray icon and menu.
  void AddTrayIcon();
  BOOL RemoveTrayIcon();
  void SetTrayIconState(uint8_t state);
  void StartBusy();
  void StopBusy();
  void AnimateTrayIcon();
  void ShowBalloon(const std::wstring& text, int seconds);
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  BOOL OnTaskbarCreated();
  void ShowTrayMenu();

  // Settings and the token manager.
  void LoadSettings();
  bool LaunchManager();

  // Progress reported by the token module.
  void OnSaveProgress(CK_SLOT_ID slot, uint32_t code, uint32_t datum);
  void OnKeyPairProgress(CK_SLOT_ID slot, uint32_t code);
  void OnLowLevelInitProgress(CK_SLOT_ID slot, uint32_t code);
  void OnInitProgress(CK_SLOT_ID slot, uint32_t code);

  HWND parent_;
  std::wstring m_strCaption;
  HICON m_hIcon;
  bool m_bTrayIconShown = false;
  UINT m_nInstanceMessage;
  TokenAccess m_token;
  uint8_t m_nIconState = 1;
  Thread m_worker;
  UniqueHandle m_hWorkEvent;
  UniqueHandle m_hStopEvent;
  // Appended to by the window thread, drained by the worker; each append and each take
  // holds the mutex.
  std::deque<TokenEvent> m_eventQueue;
  std::mutex m_eventQueueMutex;
  std::wstring m_strBrowserUrl;
  int m_nWarnDays = 30;
  std::wstring m_strManagerExe;
  int m_nLanguageId = 1033;
  bool m_bTrayIconWanted = true;
  bool m_bNonCache = false;
};

}  // namespace tessard
