#include "app/main_dialog.h"

#include "app/cert_expired.h"
#include "app/instance_message.h"
#include "app/manager.h"
#include "app/tray_menu.h"
#include "balloon/balloon_window.h"
#include "localisation/format_text.h"
#include "localisation/lang.h"
#include "platform/system_calls.h"
#include "platform/system_version.h"
#include "token/product_info.h"
#include "update/update.h"

namespace tessard {

namespace {

constexpr UINT kStartupDelayMs = 200;
constexpr UINT kIconRemovalDelayMs = 5000;
constexpr int kTokenNotificationSeconds = 10;
constexpr int kMenuResultSeconds = 5;
constexpr int kTitleCapacity = 260;

// Closes the dialogs this program opened about the token: windows owned, through any
// number of steps, by the main window and titled like it.
BOOL CALLBACK CloseOwnedDialogs(HWND window, LPARAM mainWindowParameter) {
  const HWND mainWindow = reinterpret_cast<HWND>(mainWindowParameter);
  if (window == mainWindow || ::GetParent(window) == window) return TRUE;
  // Bounded, so that a cycle in a foreign chain cannot hold the enumeration.
  HWND up = ::GetParent(window);
  for (int steps = 0; up != nullptr && up != mainWindow && steps < 64; ++steps) up = ::GetParent(up);
  if (up != mainWindow) return TRUE;
  wchar_t text[kTitleCapacity] = {};
  wchar_t mainText[kTitleCapacity] = {};
  ::GetWindowTextW(window, text, kTitleCapacity);
  ::GetWindowTextW(mainWindow, mainText, kTitleCapacity);
  if (std::wstring_view(text) == std::wstring_view(mainText)) {
    ::EndDialog(window, 0);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

// Ends this thread's own modal windows (message boxes, the expiry dialog) other than the
// main window, so that nothing waits for a person once the program is told to end.
BOOL CALLBACK EndOwnModalWindow(HWND window, LPARAM mainWindowParameter) {
  wchar_t windowClass[8] = {};
  ::GetClassNameW(window, windowClass, 8);
  if (window != reinterpret_cast<HWND>(mainWindowParameter) && std::wstring_view(windowClass) == L"#32770") {
    ::EndDialog(window, IDCANCEL);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

UINT TaskbarCreatedMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

CTessardDlg::CTessardDlg(UINT instanceMessage, HWND parent, TokenAccessInterface& token, const Settings& settings)
    : parent_(parent),
      settings_(settings),
      m_hIcon(::LoadIconW(ResourceModule(), MAKEINTRESOURCEW(IDI_TOKEN))),
      m_nInstanceMessage(instanceMessage),
      m_token(token),
      m_worker([this](const TokenEvent& event) { OnWorkerEvent(event); }) {}

CTessardDlg::~CTessardDlg() {
  // Destroyed here, while the members that WM_DESTROY's clean-up uses still exist.
  if (Window() != nullptr) ::DestroyWindow(Window());
}

BOOL CTessardDlg::OnInitDialog() {
  m_tray.Attach(Window());
  HideFromTaskbar();
  LoadSettings();
  ::SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SetCaption();
  ::SetTimer(Window(), TimerStartup, kStartupDelayMs, nullptr);
  if (IsWindows9xFamily()) balloonWindow = CreateBalloonWindow(RECT{0, 0, 5, 5});
  if (m_worker.Start() && m_bTrayIconWanted && m_token.HasTokens()) AddTrayIcon();
  return TRUE;
}

void CTessardDlg::LoadSettings() {
  if (const int languageId = LanguageIdOf(settings_); languageId > 0) LangSetId(languageId);
  m_bTrayIconWanted = true;
  m_nWarnDays = 30;
}

bool CTessardDlg::LaunchManager() { return tessard::LaunchManager(settings_, kProductInfo.managerExeName); }

void CTessardDlg::EndManager() { TerminateManager(kProductInfo.managerExeName); }

void CTessardDlg::HideFromTaskbar() {
  const LONG_PTR style = ::GetWindowLongPtrW(Window(), GWL_EXSTYLE);
  ::SetWindowLongPtrW(Window(), GWL_EXSTYLE, (style & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
  ::SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CTessardDlg::SetCaption() {
  m_strCaption = FormatText(LangGetString(text::kCaptionFormat), {SettingsKeyLeaf()});
  ::SetWindowTextW(Window(), m_strCaption.c_str());
}

void CTessardDlg::AddTrayIcon() {
  m_tray.Add(FormatText(L"%s %s", {kProductInfo.tokenLabel, LangGetString(text::kManager)}));
}

bool CTessardDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == m_nInstanceMessage) {
    OnInstanceMessage(wParam);
    return false;
  }
  if (message == TaskbarCreatedMessage()) {
    result = OnTaskbarCreated();
    return true;
  }
  switch (message) {
    case kTokenEventMessage:
      OnTokenEvent(wParam, lParam);
      result = 1;
      return true;
    case kReadAgainRequest:
      // A slot of a token gone meanwhile has nothing to read.
      if (m_token.IsSlotKnown(wParam)) ReadAgainLater(wParam);
      return true;
    case WM_PAINT:
      if (!::IsIconic(Window())) return false;
      OnPaint();
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(m_hIcon);
      return true;
    case WM_SYSCOMMAND:
      return true;
    case WM_DESTROY:
      OnDestroy();
      return false;
    case WM_TIMER:
      OnTimer(wParam);
      // The icon-removal timer and foreign ones go on to the default handling.
      return wParam == TimerIconAnimation || wParam == TimerStartup;
    case WM_TRAY_NOTIFY:
      result = OnTrayNotify(wParam, lParam);
      return true;
    case WM_HELP:
      result = TRUE;
      return true;
    default:
      return DialogBase::HandleMessage(message, wParam, lParam, result);
  }
}

void CTessardDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(Window(), &paint);
  ::SendMessageW(Window(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(Window(), &client);
  const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, m_hIcon);
  ::EndPaint(Window(), &paint);
}

void CTessardDlg::OnInstanceMessage(WPARAM wParam) {
  if (wParam == kInstanceSilent) {
    m_bTrayIconWanted = false;
    if (m_tray.IsShown()) m_tray.Remove();
  } else if (wParam == kInstanceTerminate) {
    m_bEnding = true;
    ::EnumThreadWindows(::GetCurrentThreadId(), &EndOwnModalWindow, reinterpret_cast<LPARAM>(Window()));
    ::DestroyWindow(Window());
    EndManager();
  }
}

void CTessardDlg::OnTokenEvent(WPARAM wParam, LPARAM lParam) {
  const TokenEvent event{SlotOfPackedEvent(wParam), CodeOfPackedEvent(wParam), static_cast<uint32_t>(lParam)};
  switch (RouteOfTokenEvent(event.code)) {
    case TokenEventRoute::Insertion:
      // A removal that went unreported: the token recorded in the slot leaves first.
      if (m_token.HoldsAnotherToken(event.slot)) {
        OnRemoval(event.slot);
        EndManager();
      }
      OnInsertion(event.slot);
      break;
    case TokenEventRoute::Removal:
      OnRemoval(event.slot);
      EndManager();
      break;
    case TokenEventRoute::Worker:
      if (m_worker.IsRunning()) {
        m_worker.Queue(event);
      } else {
        OnWorkerEvent(event);
      }
      break;
    case TokenEventRoute::Progress:
      OnProgress(event.slot, event.code, event.data);
      break;
    case TokenEventRoute::Ignored:
      break;
  }
}

void CTessardDlg::OnWorkerEvent(const TokenEvent& event) {
  if (event.code == TOKEN_EVENT_OBJECT_CREATED) {
    // Posted, since the worker runs it: the window thread keeps the read-again state.
    if (!m_token.OnObjectCreated(event.slot, event.data)) {
      ::PostMessageW(Window(), kReadAgainRequest, event.slot, 0);
    }
  } else if (event.code == TOKEN_EVENT_OBJECT_DELETED) {
    m_token.OnObjectDeleted(event.slot, event.data);
  }
}

void CTessardDlg::OnProgress(CK_SLOT_ID slot, uint32_t code, uint32_t datum) {
  for (const ProgressStep& step : ProgressStepsOf(code, datum)) {
    switch (step.action) {
      case ProgressAction::StartBusy:
        m_tray.StartBusy();
        break;
      case ProgressAction::StopBusy:
        m_tray.StopBusy();
        break;
      case ProgressAction::Notify: {
        std::wstring notification = LangGetString(step.text);
        if (step.item) notification = FormatText(notification, {LangGetString(*step.item)});
        ShowBalloon(notification, kTokenNotificationSeconds);
        break;
      }
      case ProgressAction::UnregisterCertificates:
        m_token.UnregisterSlotCertificates(slot, true);
        break;
    }
  }
}

void CTessardDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case TimerIconAnimation:
      m_tray.Animate();
      break;
    case TimerStartup:
      ::KillTimer(Window(), TimerStartup);
      OnStartupTimer();
      break;
    case TimerIconRemoval:
      ::KillTimer(Window(), TimerIconRemoval);
      ShowBalloon(L"", kTokenNotificationSeconds);
      m_tray.Remove();
      break;
    case TimerReadAgain:
      OnReadAgainTimer();
      break;
    default:
      break;
  }
}

void CTessardDlg::OnStartupTimer() {
  const HWND owner = ::GetForegroundWindow();
  if (m_token.Open() != CKR_OK) {
    ShowStartupFailure(owner, text::kModuleFailed);
    return;
  }
  if (m_token.StartMonitor(Window(), kTokenEventMessage) != CKR_OK) {
    ShowStartupFailure(owner, text::kMonitorFailed);
    return;
  }
  for (CK_SLOT_ID slot : m_token.SlotsReadInPart()) ReadAgainLater(slot);
  if (m_token.HasTokens() && m_bTrayIconWanted) {
    AddTrayIcon();
    if (RunUpdateAgent() == UpdateRun::Stopped) return;
    LaunchManager();
  }
}

void CTessardDlg::ShowStartupFailure(HWND owner, const TextId& text) {
  ShowMessageBox(owner, LangGetString(text).c_str(), m_strCaption.c_str(), MB_ICONERROR | MB_SETFOREGROUND);
  ::PostMessageW(HWND_BROADCAST, m_nInstanceMessage, kInstanceTerminate, 0);
}

void CTessardDlg::OnInsertion(CK_SLOT_ID slot) {
  if (!m_token.OnTokenInserted(slot, m_strBrowserUrl)) ReadAgainLater(slot);
  if (m_token.IsSlotKnown(slot)) OnTokenRecorded(slot);
}

void CTessardDlg::OnTokenRecorded(CK_SLOT_ID slot) {
  ::KillTimer(Window(), TimerIconRemoval);
  if (!m_tray.IsShown() && m_bTrayIconWanted) AddTrayIcon();
  ShowBalloon(LangGetString(text::kTokenInserted), kTokenNotificationSeconds);
  // Stopped, the run was cut short by the request to end, which waits in the queue.
  if (RunUpdateAgent() == UpdateRun::Stopped) return;
  FetchUpdateConfig(UpdateFolderOf(settings_.updateUrl), slot, m_nWarnDays, m_strBrowserUrl);
  if (!WarnOfExpiry(slot)) return;
  LaunchManager();
  if (!m_strBrowserUrl.empty()) m_token.LaunchInfoPage(slot, m_strBrowserUrl);
}

UpdateRun CTessardDlg::RunUpdateAgent() {
  if (!settings_.installUpdates) return UpdateRun::Done;
  return RunUpdate(UpdateFolderOf(settings_.updateUrl), {m_nInstanceMessage, kInstanceTerminate});
}

bool CTessardDlg::WarnOfExpiry(CK_SLOT_ID slot) {
  if (m_nWarnDays < 0 || !m_token.CheckExpiry(slot, m_nWarnDays)) return true;
  CCertExpired dialog;
  dialog.DoModal(Window());
  // Events went on while the dialog was open: the token may have left, or the program been
  // told to end.
  return !m_bEnding && m_token.IsSlotKnown(slot);
}

void CTessardDlg::ReadAgainLater(CK_SLOT_ID slot) {
  m_readAgain.Schedule(static_cast<uint32_t>(slot));
  ::SetTimer(Window(), TimerReadAgain, ReadAgain::kDelayMs, nullptr);
}

void CTessardDlg::OnReadAgainTimer() {
  m_readAgain.Round([this](uint32_t slot) {
    const bool wasKnown = m_token.IsSlotKnown(slot);
    const bool whole = m_token.OnTokenInserted(slot, m_strBrowserUrl);
    if (m_token.IsSlotKnown(slot)) {
      // A token known already may hold certificates this try found that its first read had not.
      if (wasKnown) {
        WarnOfExpiry(slot);
      } else {
        OnTokenRecorded(slot);
      }
    }
    if (m_bEnding) return ReadOutcome::Ending;
    return whole ? ReadOutcome::Whole : ReadOutcome::InPart;
  });
  if (!m_readAgain.Pending() && !m_bEnding) ::KillTimer(Window(), TimerReadAgain);
}

void CTessardDlg::OnRemoval(CK_SLOT_ID slot) {
  m_readAgain.Cancel(static_cast<uint32_t>(slot));
  if (!m_token.IsSlotKnown(slot)) return;
  ::EnumWindows(&CloseOwnedDialogs, reinterpret_cast<LPARAM>(Window()));
  ShowBalloon(LangGetString(text::kTokenRemoved), kTokenNotificationSeconds);
  m_token.OnTokenRemoved(slot, false);
  if (!m_token.HasTokens()) {
    ::SetTimer(Window(), TimerIconRemoval, kIconRemovalDelayMs, nullptr);
    m_tray.StopBusy();
  }
}

LRESULT CTessardDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
  if (lParam == WM_LBUTTONDBLCLK && wParam == kTrayIconId) {
    LaunchManager();
  } else if (lParam == WM_RBUTTONDOWN) {
    const UINT command = TrackTrayMenu(Window(), LanguageIdOf(settings_), NonCacheOf(settings_));
    if (std::optional<std::wstring> result = StoreTrayChoice(command)) ShowBalloon(*result, kMenuResultSeconds);
  }
  return 0;
}

BOOL CTessardDlg::OnTaskbarCreated() {
  if (!m_bTrayIconWanted) return FALSE;
  return m_tray.AddAgain(m_strCaption);
}

void CTessardDlg::OnDestroy() {
  m_worker.Stop();
  m_token.PurgeProviderCertificates();
  m_token.Close();
  m_tray.Remove();
  if (balloonWindow != nullptr) {
    ::DestroyWindow(balloonWindow);
    balloonWindow = nullptr;
  }
}

}  // namespace tessard
