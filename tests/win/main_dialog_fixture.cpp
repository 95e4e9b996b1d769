#include "tests/win/main_dialog_fixture.h"

namespace tessard::testing {

std::vector<Box> boxes;
std::vector<Notify> notifications;
BOOL shellAnswer = TRUE;
std::vector<std::wstring> opened;
std::vector<std::vector<MenuItem>> menus;
std::vector<UINT> choices;
std::vector<std::wstring> requestedUrls;

int RecordBox(HWND, const wchar_t* text, const wchar_t* caption, UINT style) {
  boxes.push_back({text, caption, style});
  return IDOK;
}

void RecordOpen(const wchar_t* path) { opened.push_back(path); }

UINT RecordMenu(HMENU menu, POINT, HWND) {
  std::vector<MenuItem>& items = menus.emplace_back();
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    const bool disabled = (::GetMenuState(menu, i, MF_BYPOSITION) & MF_DISABLED) != 0;
    items.push_back({::GetMenuItemID(menu, i), text, disabled});
  }
  if (choices.empty()) return 0;
  const UINT chosen = choices.front();
  choices.erase(choices.begin());
  return chosen;
}

HINTERNET RefuseUrl(HINTERNET, const wchar_t* url, DWORD) {
  requestedUrls.push_back(url);
  ::SetLastError(ERROR_INTERNET_CANNOT_CONNECT);
  return nullptr;
}

BOOL RecordNotify(DWORD message, NOTIFYICONDATAW* data) {
  notifications.push_back({message, data->uFlags, data->szTip, data->szInfo, *data});
  return shellAnswer;
}

std::vector<int> IconChanges() {
  std::vector<int> icons;
  for (const Notify& notify : notifications) {
    if (notify.message == NIM_MODIFY && notify.flags == NIF_ICON) icons.push_back(TrayResourceOf(notify.data.hIcon));
  }
  return icons;
}

bool BalloonShown(const std::wstring& text) {
  for (const Notify& notify : notifications) {
    if ((notify.flags & NIF_INFO) && notify.info == text) return true;
  }
  return false;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(5);
  }
  return true;
}

void MainDialogTest::SetUp() {
  boxes.clear();
  notifications.clear();
  shellAnswer = TRUE;
  opened.clear();
  menus.clear();
  choices.clear();
  requestedUrls.clear();
  // A message of this process's own: the dialog broadcasts it, and tests run side by side.
  const std::wstring name = L"tessard-dialog-test-" + std::to_wstring(::GetCurrentProcessId());
  instanceMessage_ = ::RegisterWindowMessageW(name.c_str());
}

void MainDialogTest::TearDown() { dialog_.reset(); }

void MainDialogTest::Start() {
  settings_ = ReadSettings();
  dialog_ = std::make_unique<CTessardDlg>(instanceMessage_, nullptr, token_, settings_);
  ASSERT_TRUE(dialog_->Create());
  ASSERT_TRUE(PumpUntil([this] { return !token_.Calls("Open").empty(); }));
}

LRESULT MainDialogTest::SendTokenEvent(uint32_t slot, uint32_t code, uint32_t data) {
  return ::SendMessageW(dialog_->Window(), kTokenEventMessage, PackTokenEvent(slot, code), data);
}

}  // namespace tessard::testing
