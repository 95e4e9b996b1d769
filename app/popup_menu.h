#pragma once
// A popup menu is tracked through one replaceable function, so that tests see the menu as it
// was built and choose from it without a person.

#include <windows.h>

namespace tessard {

using TrackMenuFunction = UINT (*)(HMENU menu, POINT at, HWND owner);

// Shows the menu at `at` until a choice is made; the chosen command, 0 when it was dismissed.
UINT TrackMenu(HMENU menu, POINT at, HWND owner);

// Returns the function that was in place.
TrackMenuFunction ReplaceTrackMenuFunction(TrackMenuFunction function);

}  // namespace tessard
