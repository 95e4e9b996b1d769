// deskprobe.exe: the demonstration's eyes and hands in the shell's desktop ("tessard-shell", a
// virtual desktop of Wine with a taskbar and a notification area). Each command answers at
// once, so that the demonstration's script polls it against its own deadlines:
//   deskprobe start [--wait] COMMAND-LINE  starts a program in that desktop; --wait: with
//                                          this process's standard handles, waits for it and
//                                          ends with its exit code
//   deskprobe shell      fails while the desktop has no taskbar
//   deskprobe tray       "X Y": the middle of the program's tray icon (fails while it has none)
//   deskprobe icon       a checksum of the pixels of that icon's cell, as shown now
//   deskprobe tips       the texts of the visible tooltips (the icon's tip and the balloons)
//   deskprobe dialog CAPTION  "X Y": the middle of the OK button of a visible dialog
//   deskprobe glyphs CAPTION  the font of each text of that dialog, and how many of the
//                        text's characters it has no glyph for (fails when any)
//   deskprobe menu       "X Y W H": the popup menu open now (fails while none is)
// Coordinates are the desktop's, which are those of its X window. Texts are UTF-8.

#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/text_convert.h"
#include "token/product_info.h"
#include "tools/deskprobe/shown_tips.h"

namespace {

using tessard::UniqueGdiObject;
using tessard::UniqueHandle;

constexpr wchar_t kShellDesktop[] = L"tessard-shell";
constexpr UINT kTrayIconId = 128;
// Wine's notification area gives each icon a border of 2 pixels around the small icon size.
constexpr int kTrayIconBorder = 2;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void PrintLine(const std::wstring& text) {
  const std::string line = tessard::ToNarrow(text, tessard::kCodePageUtf8) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

// A thread without windows may move to another desktop; from then on it sees that
// desktop's windows, screen and notification area.
bool EnterShellDesktop() {
  HDESK desktop = ::OpenDesktopW(kShellDesktop, 0, FALSE, GENERIC_ALL);
  return desktop != nullptr && ::SetThreadDesktop(desktop);
}

int Start(bool wait, std::wstring line) {
  std::wstring desktop = kShellDesktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop.data();
  if (wait) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, wait, 0, nullptr, nullptr, &startup, &started)) {
    std::fprintf(stderr, "deskprobe: cannot start %ls (error %lu)\n", line.c_str(), ::GetLastError());
    return kFailed;
  }
  UniqueHandle process(started.hProcess), thread(started.hThread);
  if (!wait) return 0;
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD code = kFailed;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

// Changing nothing of an icon succeeds only for an icon the shell holds.
bool ProgramIconShown() {
  const HWND mainDialog = ::FindWindowW(L"#32770", tessard::SettingsKeyLeaf());
  if (mainDialog == nullptr) return false;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = mainDialog;
  data.uID = kTrayIconId;
  return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// The program's icon is the notification area's only one, at its right end.
RECT TrayIconCell() {
  RECT tray{};
  ::GetWindowRect(::FindWindowW(L"Shell_TrayWnd", nullptr), &tray);
  const int cell = ::GetSystemMetrics(SM_CXSMICON) + 2 * kTrayIconBorder;
  const int top = (tray.top + tray.bottom - cell) / 2;
  return {tray.right - cell, top, tray.right, top + cell};
}

int Tray() {
  if (!ProgramIconShown()) return kFailed;
  const RECT cell = TrayIconCell();
  std::printf("%ld %ld\n", (cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
  return 0;
}

// FNV-1a of the cell's pixels read back from the screen: it changes with each frame shown.
int Icon() {
  if (!ProgramIconShown()) return kFailed;
  const RECT cell = TrayIconCell();
  const int width = cell.right - cell.left;
  const int height = cell.bottom - cell.top;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* pixels = nullptr;
  const HDC screen = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen);
  UniqueGdiObject bitmap(::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  const HGDIOBJ previous = ::SelectObject(memory, bitmap.get());
  const BOOL copied = ::BitBlt(memory, 0, 0, width, height, screen, cell.left, cell.top, SRCCOPY);
  ::SelectObject(memory, previous);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (!copied || pixels == nullptr) return kFailed;
  uint32_t hash = 2166136261u;
  const auto* bytes = static_cast<const uint8_t*>(pixels);
  for (int i = 0; i < width * height * 4; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  std::printf("%08x\n", hash);
  return 0;
}

int Tips() {
  for (const std::wstring& tip : tessard::ShownTips()) {
    if (!tip.empty()) PrintLine(tip);
  }
  return 0;
}

int Dialog(const std::wstring& caption) {
  const HWND dialog = ::FindWindowW(L"#32770", caption.c_str());
  if (dialog == nullptr || !::IsWindowVisible(dialog)) return kFailed;
  // Once its thread has taken this message, the dialog has been drawn.
  ::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  RECT button{};
  if (!::GetWindowRect(::GetDlgItem(dialog, IDOK), &button)) return kFailed;
  std::printf("%ld %ld\n", (button.left + button.right) / 2, (button.top + button.bottom) / 2);
  return 0;
}

// Whether the font each control draws its text with has every glyph of that text: Wine
// draws a box for a missing one.
int Glyphs(const std::wstring& caption) {
  const HWND dialog = ::FindWindowW(L"#32770", caption.c_str());
  if (dialog == nullptr) return kFailed;
  int missing = 0;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t text[1024] = {};
    const int length = ::GetWindowTextW(child, text, 1024);
    // An icon's control names its resource (0xFFFF, then the id) where others have text.
    if (length == 0 || text[0] == 0xFFFF) continue;
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0));
    const HDC dc = ::GetDC(child);
    const HGDIOBJ previous = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc, LF_FACESIZE, face);
    std::vector<WORD> glyphs(static_cast<size_t>(length));
    ::GetGlyphIndicesW(dc, text, length, glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    ::SelectObject(dc, previous);
    ::ReleaseDC(child, dc);
    int without = 0;
    for (WORD glyph : glyphs) without += glyph == 0xFFFF ? 1 : 0;
    missing += without;
    PrintLine(std::wstring(face) + L": " + std::to_wstring(without) + L" of " + std::to_wstring(length) +
              L" characters without a glyph in \"" + text + L"\"");
  }
  return missing == 0 ? 0 : kFailed;
}

int Menu() {
  const HWND menu = ::FindWindowW(MAKEINTATOM(32768), nullptr);
  if (menu == nullptr || !::IsWindowVisible(menu)) return kFailed;
  RECT frame{};
  ::GetWindowRect(menu, &frame);
  std::printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "deskprobe start [--wait] COMMAND-LINE\n"
               "deskprobe shell | tray | icon | tips | menu\n"
               "deskprobe dialog | glyphs CAPTION\n");
  return kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  const std::wstring& command = args[0];
  if (command == L"start") {
    const bool wait = args.size() > 1 && args[1] == L"--wait";
    const size_t first = wait ? 2 : 1;
    if (args.size() <= first) return Usage();
    std::wstring line;
    for (size_t i = first; i < args.size(); ++i) line += (i > first ? L" " : L"") + args[i];
    return Start(wait, line);
  }
  if (!EnterShellDesktop()) {
    std::fprintf(stderr, "deskprobe: no desktop %ls\n", kShellDesktop);
    return kFailed;
  }
  if (command == L"shell") return ::FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr ? 0 : kFailed;
  if (command == L"tray") return Tray();
  if (command == L"icon") return Icon();
  if (command == L"tips") return Tips();
  if (command == L"menu") return Menu();
  if (command == L"dialog" && args.size() == 2) return Dialog(args[1]);
  if (command == L"glyphs" && args.size() == 2) return Glyphs(args[1]);
  return Usage();
}
