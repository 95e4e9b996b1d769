#include "balloon/balloon_window.h"

#include "localisation/lang.h"

// The drawn window is not built yet: creation reports failure, so notifications take the
// tray icon's balloon tip on every system.

namespace tessard {

HWND balloonWindow = nullptr;

HWND CreateBalloonWindow(const RECT&) { return nullptr; }
void ShowBalloonWindow(const wchar_t*, int) {}
int InitialiseBalloonFont() { return LangGetCodePage(); }

}  // namespace tessard
