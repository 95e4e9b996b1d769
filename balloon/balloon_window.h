#pragma once
// The notification window of the Windows 95/98/Me family: a small borderless, always-on-top
// window with rounded corners near the lower right corner of the screen, which shows one
// text for some seconds and hides on a click. Elsewhere notifications use the tray icon's
// balloon tip and no such window exists. Everything here runs on the main dialog's thread.

#include <windows.h>

namespace tessard {

// The balloon window; null when none exists (other systems, or creation failed). Its owner,
// the main dialog, destroys it and sets this back to null.
extern HWND balloonWindow;

// Registers the class and makes the window, hidden, at (left, top) sized left + right by
// top + bottom; null when either fails.
HWND CreateBalloonWindow(const RECT& rect);

// Shows `text` (at most 255 characters are kept) for `seconds` to `seconds` + 1 seconds in
// place of whatever shows; an empty text hides the balloon.
void ShowBalloonWindow(const wchar_t* text, int seconds);

// Reads the language number that chooses the balloon's font face; run once at program start.
int InitialiseBalloonFont();

}  // namespace tessard
