// The expiry dialog in Vietnamese, from the language file installed next to the tests.
// With TESSARD_HOLD_MS set the dialog stays up that long, for a screenshot.

#include <gtest/gtest.h>

#include <string>

#include "app/cert_expired.h"
#include "balloon/balloon_window.h"
#include "localisation/lang.h"
#include "localisation/multi_language.h"
#include "resources/resource.h"

namespace tessard {
namespace {

// As in the program, the balloon's font is chosen by a static initialiser, so the store loads
// once with its own defaults before anything configures it.
const int startupLanguage = InitialiseBalloonFont();

struct Seen {
  std::wstring caption;
  std::wstring ok;
  std::wstring message;
};
Seen seen;
DWORD shownAt = 0;

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  ::GetDlgItemTextW(dialog, id, text, 1024);
  return text;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (std::wstring(name) != L"#32770") return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

DWORD HoldMilliseconds() {
  wchar_t text[16] = {};
  if (::GetEnvironmentVariableW(L"TESSARD_HOLD_MS", text, 16) == 0) return 0;
  return static_cast<DWORD>(std::wcstoul(text, nullptr, 10));
}

void CALLBACK ReadAndClose(HWND, UINT, UINT_PTR, DWORD now) {
  HWND dialog = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  if (shownAt == 0) shownAt = now;
  if (now - shownAt < HoldMilliseconds()) return;
  wchar_t caption[256] = {};
  ::GetWindowTextW(dialog, caption, 256);
  seen = {caption, ItemText(dialog, IDOK), ItemText(dialog, IDC_EXPIRED_MESSAGE)};
  ::EndDialog(dialog, IDOK);
}

TEST(ExpiryDialogLanguage, ShowsTheVietnameseTexts) {
  wchar_t executable[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, executable, MAX_PATH);
  std::wstring folder(executable);
  folder.erase(folder.rfind(L'\\') + 1);
  const zeph::MultiLanguage& store = zeph::MultiLanguage::Instance();
  EXPECT_EQ(store.Folder() + L"\\", folder);
  EXPECT_EQ(store.BaseName(), L"expiry_language_tests");
  EXPECT_TRUE(store.UseBuiltIn());
  EXPECT_EQ(startupLanguage, 1033);
  LangSetFolder(folder);
  LangSetBaseName(L"lang\\zxtokd");
  LangSetId(1066);

  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &ReadAndClose);
  CCertExpired dialog;
  EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
  ::KillTimer(nullptr, timer);
  EXPECT_EQ(seen.caption, L"Orvane-CA Token Manager");
  EXPECT_EQ(seen.ok, L"\u0110\u1ED3ng \u00FD");
  EXPECT_EQ(seen.message,
            L"C\u00F3 \u00EDt nh\u1EA5t m\u1ED9t ch\u1EE9ng th\u01B0 s\u1ED1 trong token s\u1EAFp h\u1EBFt h\u1EA1n "
            L"(ho\u1EB7c \u0111\u00E3 h\u1EBFt h\u1EA1n). Vui l\u00F2ng nh\u1EDB gia h\u1EA1n.");
  EXPECT_EQ(LangGetCodePage(), 1066);
}

}  // namespace
}  // namespace tessard
