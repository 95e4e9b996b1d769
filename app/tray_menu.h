#pragma once
// The tray icon's menu: the language, the user's own, and the cache option, the machine's;
// both take effect at the next start.

#include <windows.h>

#include <optional>
#include <string>

#include "app/tray_menu_items.h"

namespace tessard {

// Shows the menu at the cursor and returns the chosen command, 0 when it was dismissed.
UINT TrackTrayMenu(HWND owner, int languageId, bool nonCache);

// Stores what the command chose; the result text to show, none when nothing is to be shown
// (a dismissed menu, or a cache option without the machine's settings key).
std::optional<std::wstring> StoreTrayChoice(UINT command);

}  // namespace tessard
