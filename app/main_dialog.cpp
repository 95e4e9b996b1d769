#include "app/main_dialog.h"

#include <tlhelp32.h>

#include "app/cert_expired.h"
#include "app/message_box.h"
#include "balloon/balloon_window.h"
#include "localisation/format_text.h"
#include "localisation/lang.h"
#include "platform/system_version.h"
#include "resources/resource.h"
#include "token/product_info.h"
#include "update/update.h"

namespace tessard {

namespace {

// Closes the dialogs this program opened about the token: windows owned, through any
// number of steps, by the main window and titled like it.
BOOL CALLBACK CloseOwnedDialogs(HWND window, LPARAM mainWindowParameter) {
  const HWND mainWindow = reinterpret_cast<HWND>(mainWindowParameter);
  if (window == mainWindow || ::GetParent(window) == window) return TRUE;
  // Bounded, so that a cycle in a foreign chain cannot hold the enumeration.
  HWND up = ::GetParent(window);
  for (int steps = 0; up != nullptr && up != mainWindow && steps < 64; ++steps) up = ::GetParent(up);
  if (up != mainWindow) return TRUE;
  wchar_t text[260] = {};
  wchar_t mainText[260] = {};
  ::GetWindowTextW(window, text, 260);
  ::GetWindowTextW(mainWindow, mainText, 260);
  if (std::wstring_view(text) == std::wstring_view(mainText)) {
    ::EndDialog(window, 0);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

UINT TaskbarCreatedMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

UniqueHandle FindProcessByName(const std::wstring& name) {
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return {};
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (name == entry.szExeFile) return UniqueHandle(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
  }
  return {};
}

CTessardDlg::CTessardDlg(UINT instanceMessage, HWND parent)
    : parent_(parent),
      m_hIcon(::LoadIconW(ResourceModule(), MAKEINTRESOURCEW(IDI_TOKEN))),
      m_nInstanceMessage(instanceMessage) {}

CTessardDlg::~CTessardDlg() {
  // Destroyed here, while the members that WM_DESTROY's clean-up uses still exist.
  if (Window() != nullptr) ::DestroyWindow(Window());
}

size_t CTessardDlg::QueuedEventCount() {
  std::lock_guard<std::mutex> hold(m_eventQueueMutex);
  return m_eventQueue.size();
}

BOOL CTessardDlg::OnInitDialog() {
  HideFromTaskbar();
  LoadSettings();
  ::SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SetCaption();
  ::SetTimer(Window(), TimerStartup, 200, nullptr);
  if (IsWindows9xFamily()) balloonWindow = CreateBalloonWindow(RECT{0, 0, 5, 5});
  if (StartWorker() && m_bTrayIconWanted && m_token.HasTokens()) AddTrayIcon();
  return TRUE;
}

void CTessardDlg::HideFromTaskbar() {
  const LONG_PTR style = ::GetWindowLongPtrW(Window(), GWL_EXSTYLE);
  ::SetWindowLongPtrW(Window(), GWL_EXSTYLE, (style & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
  ::SetWindowPos(Window(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CTessardDlg::SetCaption() {
  m_strCaption = FormatText(LangGetString(11003, L"%s"), {SettingsKeyLeaf()});
  ::SetWindowTextW(Window(), m_strCaption.c_str());
}

bool CTessardDlg::StartWorker() {
  m_hWorkEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  m_hStopEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!m_hWorkEvent || !m_hStopEvent) {
    m_hWorkEvent.reset();
    m_hStopEvent.reset();
    return false;
  }
  return m_worker.Start(&CTessardDlg::WorkerMain, nullptr, this) == 0;
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
  if (wParam == 3) {
    m_bTrayIconWanted = false;
    if (m_bTrayIconShown) RemoveTrayIcon();
  } else if (wParam == 1) {
    ::DestroyWindow(Window());
    TerminateManager();
  }
}

void CTessardDlg::TerminateManager() {
  if (UniqueHandle manager = FindProcessByName(m_strManagerExe)) ::TerminateProcess(manager.get(), 0);
}

void CTessardDlg::OnTokenEvent(WPARAM wParam, LPARAM lParam) {
  const TokenEvent event{SlotOfPackedEvent(wParam), CodeOfPackedEvent(wParam), static_cast<uint32_t>(lParam)};
  switch (RouteOfTokenEvent(event.code)) {
    case TokenEventRoute::Insertion:
      OnInsertion(event.slot);
      if (!m_strBrowserUrl.empty()) m_token.LaunchInfoPage(event.slot, m_strBrowserUrl);
      break;
    case TokenEventRoute::Removal:
      OnRemoval(event.slot);
      TerminateManager();
      break;
    case TokenEventRoute::Worker:
      if (m_worker.IsRunning()) {
        QueueEvent(event);
      } else {
        HandleWorkerEvent(event);
      }
      break;
    case TokenEventRoute::SaveProgress:
      OnSaveProgress(event.slot, event.code, event.data);
      break;
    case TokenEventRoute::KeyPairProgress:
      OnKeyPairProgress(event.slot, event.code);
      break;
    case TokenEventRoute::LowLevelInitProgress:
      OnLowLevelInitProgress(event.slot, event.code);
      break;
    case TokenEventRoute::InitProgress:
      OnInitProgress(event.slot, event.code);
      break;
    case TokenEventRoute::Ignored:
      break;
  }
}

void CTessardDlg::QueueEvent(const TokenEvent& event) {
  {
    std::lock_guard<std::mutex> hold(m_eventQueueMutex);
    m_eventQueue.push_back(event);
  }
  ::SetEvent(m_hWorkEvent.get());
}

std::optional<TokenEvent> CTessardDlg::TakeEvent() {
  std::lock_guard<std::mutex> hold(m_eventQueueMutex);
  if (m_eventQueue.empty()) return std::nullopt;
  TokenEvent event = m_eventQueue.front();
  m_eventQueue.pop_front();
  return event;
}

void CTessardDlg::HandleWorkerEvent(const TokenEvent& event) {
  if (event.code == TOKEN_EVENT_OBJECT_CREATED) {
    m_token.OnObjectCreated(event.slot, event.data);
  } else if (event.code == TOKEN_EVENT_OBJECT_DELETED) {
    m_token.OnObjectDeleted(event.slot, event.data);
  }
}

int32_t CTessardDlg::WorkerMain(void* parameter) {
  auto* dialog = static_cast<CTessardDlg*>(parameter);
  while (!dialog->m_worker.IsStopRequested()) {
    if (dialog->QueuedEventCount() == 0) {
      const HANDLE events[] = {dialog->m_hWorkEvent.get(), dialog->m_hStopEvent.get()};
      if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return 1;
    }
    if (std::optional<TokenEvent> event = dialog->TakeEvent()) {
      dialog->HandleWorkerEvent(*event);
      ::Sleep(0);
    }
  }
  return 1;
}

void CTessardDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case TimerIconAnimation:
      AnimateTrayIcon();
      break;
    case TimerStartup:
      ::KillTimer(Window(), TimerStartup);
      OnStartupTimer();
      break;
    case TimerIconRemoval:
      ::KillTimer(Window(), TimerIconRemoval);
      ShowBalloon(L"", 10);
      RemoveTrayIcon();
      break;
    default:
      break;
  }
}

void CTessardDlg::OnStartupTimer() {
  const HWND owner = ::GetForegroundWindow();
  if (m_token.Open() != CKR_OK) {
    ShowStartupFailure(owner, 11001, L"Failed to load PKCS#11 library, please check your installation");
    return;
  }
  if (m_token.StartMonitor(Window(), kTokenEventMessage) != CKR_OK) {
    ShowStartupFailure(owner, 11002, L"Can not start USBKey monitor, the certificate register works unperfectly");
    return;
  }
  if (m_token.HasTokens() && m_bTrayIconWanted) {
    AddTrayIcon();
    RunUpdate();
    LaunchManager();
  }
}

void CTessardDlg::ShowStartupFailure(HWND owner, int textId, const wchar_t* english) {
  ShowMessageBox(owner, LangGetString(textId, english).c_str(), m_strCaption.c_str(), MB_ICONERROR | MB_SETFOREGROUND);
  ::PostMessageW(HWND_BROADCAST, m_nInstanceMessage, 1, 0);
}

void CTessardDlg::OnInsertion(CK_SLOT_ID slot) {
  m_token.OnTokenInserted(slot, m_strBrowserUrl);
  if (!m_token.IsSlotKnown(slot)) return;
  ::KillTimer(Window(), TimerIconRemoval);
  if (!m_bTrayIconShown && m_bTrayIconWanted) AddTrayIcon();
  ShowBalloon(LangGetString(10000, L"Orvane-CA Token is inserted!"), 10);
  RunUpdate();
  FetchUpdateConfig(slot, m_nWarnDays, m_strBrowserUrl);
  if (m_nWarnDays >= 0 && m_token.CheckExpiry(slot, m_nWarnDays)) {
    CCertExpired dialog;
    dialog.DoModal(Window());
  }
  LaunchManager();
}

void CTessardDlg::OnRemoval(CK_SLOT_ID slot) {
  if (!m_token.IsSlotKnown(slot)) return;
  ::EnumWindows(&CloseOwnedDialogs, reinterpret_cast<LPARAM>(Window()));
  ShowBalloon(LangGetString(10001, L"Orvane-CA Token is removed!"), 10);
  m_token.OnTokenRemoved(slot, false);
  if (!m_token.HasTokens()) {
    ::SetTimer(Window(), TimerIconRemoval, 5000, nullptr);
    StopBusy();
  }
}

void CTessardDlg::StopWorker() {
  ::SetEvent(m_hStopEvent.get());
  m_worker.Stop();
}

void CTessardDlg::OnDestroy() {
  StopWorker();
  m_token.PurgeProviderCertificates();
  m_token.Close();
  RemoveTrayIcon();
  if (balloonWindow != nullptr) {
    ::DestroyWindow(balloonWindow);
    balloonWindow = nullptr;
  }
  m_hStopEvent.reset();
  m_hWorkEvent.reset();
}

}  // namespace tessard
