// The tray icon, its busy animation, balloon tips and menu.

#include "app/main_dialog.h"
#include "app/shell_notify.h"
#include "balloon/balloon_window.h"
#include "localisation/format_text.h"
#include "localisation/lang.h"
#include "platform/registry.h"
#include "resources/resource.h"
#include "token/product_info.h"

namespace tessard {

namespace {

enum TrayCommand : UINT {
  CommandEnglish = 30001,
  CommandVietnamese = 30002,
  CommandCache = 30003,
  CommandNonCache = 30004,
};

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

}  // namespace

void CTessardDlg::AddTrayIcon() {
  NOTIFYICONDATAW data = MakeIconData(Window());
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = LoadTrayIcon(IDI_TOKEN);
  CopyText(data.szTip, 128, FormatText(L"%s %s", {kProductInfo.tokenLabel, LangGetString(11000, L"Manager")}));
  ShellNotify(NIM_ADD, &data);
  m_bTrayIconShown = true;
}

BOOL CTessardDlg::RemoveTrayIcon() {
  NOTIFYICONDATAW data = MakeIconData(Window());
  m_bTrayIconShown = false;
  return ShellNotify(NIM_DELETE, &data);
}

void CTessardDlg::SetTrayIconState(uint8_t state) {
  static constexpr int kIcons[] = {IDI_TOKEN, IDI_TOKEN_BUSY1, IDI_TOKEN_BUSY2};
  if (!m_bTrayIconShown || state < 1 || state > 3) return;
  NOTIFYICONDATAW data = MakeIconData(Window());
  data.uFlags = NIF_ICON;
  data.hIcon = LoadTrayIcon(kIcons[state - 1]);
  ShellNotify(NIM_MODIFY, &data);
  m_nIconState = state;
}

void CTessardDlg::StartBusy() {
  ::SetTimer(Window(), TimerIconAnimation, 350, nullptr);
  SetTrayIconState(2);
}

void CTessardDlg::StopBusy() {
  ::KillTimer(Window(), TimerIconAnimation);
  SetTrayIconState(1);
}

void CTessardDlg::AnimateTrayIcon() { SetTrayIconState(m_nIconState == 3 ? 2 : 3); }

void CTessardDlg::ShowBalloon(const std::wstring& text, int seconds) {
  if (!m_bTrayIconShown) return;
  if (balloonWindow != nullptr) {
    ShowBalloonWindow(text.c_str(), seconds);
    return;
  }
  NOTIFYICONDATAW data = MakeIconData(Window());
  data.uFlags = NIF_INFO;
  data.uTimeout = static_cast<UINT>(seconds) * 1000;
  // The first call closes a balloon that is still up; the second shows the new text.
  ShellNotify(NIM_MODIFY, &data);
  CopyText(data.szInfo, 256, text);
  ShellNotify(NIM_MODIFY, &data);
}

LRESULT CTessardDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
  if (lParam == WM_LBUTTONDBLCLK && wParam == kTrayIconId) {
    LaunchManager();
  } else if (lParam == WM_RBUTTONDOWN) {
    ShowTrayMenu();
  }
  return 0;
}

void CTessardDlg::ShowTrayMenu() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  const std::wstring english = LangGetString(11111, L"English");
  const std::wstring vietnamese = LangGetString(11112, L"Vietnamese");
  const std::wstring languageDone = LangGetString(11113,
      L"Switch the language successfully!You need to restart your computer to complete this operation.");
  const std::wstring languageFailed = LangGetString(11114, L"Switch the language failure");
  const std::wstring cache = LangGetString(11115, L"Cache");
  const std::wstring nonCache = LangGetString(11116, L"NonCache");
  const std::wstring cacheFailed = LangGetString(11117, L"Change Cache option failed");
  const std::wstring cacheDone = LangGetString(11118,
      L"Switch the Cache option successfully!You need to restart your computer to complete this operation.");

  UniqueMenu menu(::CreatePopupMenu());
  if (!menu) return;
  const auto state = [](bool disabled) { return MF_STRING | (disabled ? MF_DISABLED : 0u); };
  ::AppendMenuW(menu.get(), state(m_nLanguageId != 1066), CommandEnglish, english.c_str());
  ::AppendMenuW(menu.get(), state(m_nLanguageId == 1066), CommandVietnamese, vietnamese.c_str());
  ::AppendMenuW(menu.get(), state(m_bNonCache), CommandNonCache, nonCache.c_str());
  ::AppendMenuW(menu.get(), state(!m_bNonCache), CommandCache, cache.c_str());
  ::SetForegroundWindow(Window());
  const UINT command = static_cast<UINT>(
      ::TrackPopupMenu(menu.get(), TPM_RETURNCMD, cursor.x, cursor.y, 0, Window(), nullptr));
  menu.reset();

  if (command < CommandEnglish || command > CommandNonCache) return;
  UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, KEY_ALL_ACCESS);
  if (!key) return;
  if (command == CommandEnglish || command == CommandVietnamese) {
    const wchar_t* language = command == CommandEnglish ? L"1033" : L"1066";
    const bool stored = ::RegSetValueExW(key.get(), L"InstallLanguageId", 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(language), 10) == ERROR_SUCCESS;
    ShowBalloon(stored ? languageDone : languageFailed, 5);
  } else {
    const DWORD value = command == CommandNonCache ? 1 : 0;
    const bool stored = ::RegSetValueExW(key.get(), L"NonCache", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                         sizeof(value)) == ERROR_SUCCESS;
    ShowBalloon(stored ? cacheDone : cacheFailed, 5);
  }
}

BOOL CTessardDlg::OnTaskbarCreated() {
  if (!m_bTrayIconWanted) return FALSE;
  NOTIFYICONDATAW data = MakeIconData(Window());
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = LoadTrayIcon(IDI_TOKEN);
  CopyText(data.szTip, 128, m_strCaption);
  return ShellNotify(NIM_ADD, &data);
}

}  // namespace tessard
