#include "app/tray_icon.h"

#include <algorithm>

#include "balloon/balloon_window.h"
#include "platform/system_calls.h"
#include "resources/resource.h"

namespace tessard {

namespace {

constexpr size_t kTipCapacity = 128;
constexpr size_t kBalloonCapacity = 256;

// The Windows 2000 layout: 128-character tip, balloon text and title.
NOTIFYICONDATAW MakeIconData(HWND window) {
  NOTIFYICONDATAW data;
  ZeroMemory(&data, sizeof(data));
  data.cbSize = NOTIFYICONDATAW_V2_SIZE;
  data.hWnd = window;
  data.uID = kTrayIconId;
  return data;
}

HICON LoadTrayIcon(int resource) {
  return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                         ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                         LR_SHARED | LR_DEFAULTSIZE));
}

void CopyText(wchar_t* target, size_t capacity, const std::wstring& text) {
  const size_t length = std::min(text.size(), capacity - 1);
  text.copy(target, length);
  target[length] = L'\0';
}

BOOL AddIcon(HWND owner, const std::wstring& tip) {
  NOTIFYICONDATAW data = MakeIconData(owner);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = LoadTrayIcon(IDI_TOKEN);
  CopyText(data.szTip, kTipCapacity, tip);
  return ShellNotify(NIM_ADD, &data);
}

}  // namespace

void TrayIcon::Add(const std::wstring& tip) {
  AddIcon(owner_, tip);
  shown_ = true;
}

BOOL TrayIcon::Remove() {
  NOTIFYICONDATAW data = MakeIconData(owner_);
  shown_ = false;
  return ShellNotify(NIM_DELETE, &data);
}

BOOL TrayIcon::AddAgain(const std::wstring& tip) { return AddIcon(owner_, tip); }

void TrayIcon::SetState(uint8_t state) {
  static constexpr int kIcons[] = {IDI_TOKEN, IDI_TOKEN_BUSY1, IDI_TOKEN_BUSY2};
  if (!shown_ || state < 1 || state > 3) return;
  NOTIFYICONDATAW data = MakeIconData(owner_);
  data.uFlags = NIF_ICON;
  data.hIcon = LoadTrayIcon(kIcons[state - 1]);
  ShellNotify(NIM_MODIFY, &data);
  state_ = state;
}

void TrayIcon::StartBusy() {
  ::SetTimer(owner_, kAnimationTimer, kAnimationPeriodMs, nullptr);
  SetState(2);
}

void TrayIcon::StopBusy() {
  ::KillTimer(owner_, kAnimationTimer);
  SetState(1);
}

void TrayIcon::Animate() { SetState(state_ == 3 ? 2 : 3); }

void TrayIcon::ShowBalloon(const std::wstring& text, int seconds) {
  if (!shown_) return;
  if (balloonWindow != nullptr) {
    ShowBalloonWindow(text.c_str(), seconds);
    return;
  }
  NOTIFYICONDATAW data = MakeIconData(owner_);
  data.uFlags = NIF_INFO;
  data.uTimeout = static_cast<UINT>(seconds) * 1000;
  // The first call closes a balloon that is still up; the second shows the new text.
  ShellNotify(NIM_MODIFY, &data);
  CopyText(data.szInfo, kBalloonCapacity, text);
  ShellNotify(NIM_MODIFY, &data);
}

}  // namespace tessard
