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

// At the small-icon size, which for a DPI-aware program is the system's at its DPI (24 pixels at
// 144 DPI), taken from the icon's entry of that size. Not shared: a shared load may hand back
// the image of another size loaded before (the dialogs' large icon), for the shell to scale.
UniqueIcon LoadTrayIcon(int resource) {
  return UniqueIcon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), IMAGE_ICON,
                                                    ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                    LR_DEFAULTCOLOR)));
}

void CopyText(wchar_t* target, size_t capacity, const std::wstring& text) {
  const size_t length = std::min(text.size(), capacity - 1);
  text.copy(target, length);
  target[length] = L'\0';
}

BOOL AddIcon(HWND owner, HICON icon, const std::wstring& tip) {
  NOTIFYICONDATAW data = MakeIconData(owner);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = icon;
  CopyText(data.szTip, kTipCapacity, tip);
  return ShellNotify(NIM_ADD, &data);
}

}  // namespace

TrayIcon::TrayIcon() : icons_{LoadTrayIcon(IDI_TOKEN), LoadTrayIcon(IDI_TOKEN_BUSY1), LoadTrayIcon(IDI_TOKEN_BUSY2)} {}

void TrayIcon::Add(const std::wstring& tip) {
  AddIcon(owner_, icons_[0].get(), tip);
  shown_ = true;
}

BOOL TrayIcon::Remove() {
  NOTIFYICONDATAW data = MakeIconData(owner_);
  shown_ = false;
  return ShellNotify(NIM_DELETE, &data);
}

BOOL TrayIcon::AddAgain(const std::wstring& tip) { return AddIcon(owner_, icons_[0].get(), tip); }

void TrayIcon::SetState(uint8_t state) {
  if (!shown_ || state < 1 || state > icons_.size()) return;
  NOTIFYICONDATAW data = MakeIconData(owner_);
  data.uFlags = NIF_ICON;
  data.hIcon = icons_[state - 1].get();
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
