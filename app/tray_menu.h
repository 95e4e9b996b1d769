#pragma once
// The tray icon's menu: the language and the cache option, stored in the settings key and
// taking effect at the next start.

#include <windows.h>

#include <optional>
#include <string>

#include "app/tray_menu_items.h"

namespace tessard {

// Shows the menu at the cursor and returns the chosen command, 0 when it was dismissed.
UINT TrackTrayMenu(HWND owner, int languageId, bool nonCache);

// Stores what the command chose; the result text to show, none when nothing is to be shown
// (a dismissed menu, or a settings key that cannot be opened for writing).
std::optional<std::wstring> StoreTrayChoice(UINT command);

}  // namespace tessard
