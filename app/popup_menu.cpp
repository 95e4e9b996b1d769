#include "app/popup_menu.h"

namespace tessard {

namespace {

UINT CallTrackPopupMenu(HMENU menu, POINT at, HWND owner) {
  return static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD, at.x, at.y, 0, owner, nullptr));
}

TrackMenuFunction trackMenuFunction = &CallTrackPopupMenu;

}  // namespace

UINT TrackMenu(HMENU menu, POINT at, HWND owner) { return trackMenuFunction(menu, at, owner); }

TrackMenuFunction ReplaceTrackMenuFunction(TrackMenuFunction function) {
  TrackMenuFunction previous = trackMenuFunction;
  trackMenuFunction = function;
  return previous;
}

}  // namespace tessard
