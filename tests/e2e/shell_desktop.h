#pragma once
// The desktop of the tray's end-to-end tests: a virtual desktop of Wine with a taskbar and a
// notification area (its size is set in tests/wine/shell_desktop.reg), the real input a person
// gives there through xdotool, and screenshots of it.

#include <windows.h>

#include <string>
#include <vector>

namespace tessard::e2e {

inline constexpr wchar_t kShellDesktop[] = L"tessard-shell";

// Whether this thread runs in the shell's desktop.
bool InShellDesktop();

// Runs a command of the host's shell (not of Wine) and waits for it: its exit code, 124 when
// it ran for 10 s, -1 when it did not start.
int RunHostProgram(const std::string& command);

// Moves the pointer to a point of the screen and clicks there: `button` 1 left, 3 right;
// `clicks` 2 makes a double-click. 0 clicks only moves.
void ClickAt(POINT at, int button = 1, int clicks = 1);
void PressKey(const char* key);

// The middle of the notification area's one icon, at its right end.
POINT TrayIconCentre();
POINT CentreOf(HWND window);

// The popup menu open now, waited for up to 10 s; null when none opened.
HWND WaitForMenu();
// The middle of one of a menu's `count` items, which are all of one height.
POINT MenuItemCentre(HWND menu, int item, int count);

// Whether the notification area holds the program's icon (id 128 of its main dialog).
bool IconInTray(HWND mainDialog);

// Whether a visible tooltip shows this text: the icon's tip or one of the shell's balloons.
bool TipShown(const std::wstring& text);

// Saves the screen under the build folder as NAME.png and names the file in the test output.
void Screenshot(const std::string& name, const std::string& what);

// Processes of this executable file name, and their end.
int ProcessCount(const wchar_t* fileName);
void EndProcesses(const wchar_t* fileName);

}  // namespace tessard::e2e
