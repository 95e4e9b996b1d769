#pragma once
// The notification window of the Windows 95/98/Me family.

#include <windows.h>

namespace tessard {

// The balloon window; null when none exists (other systems, or creation failed).
extern HWND balloonWindow;

HWND CreateBalloonWindow(const RECT& rect);
void ShowBalloonWindow(const wchar_t* text, int seconds);

// Chooses the balloon's font face from the language number; run once at program start.
int InitialiseBalloonFont();

}  // namespace tessard
