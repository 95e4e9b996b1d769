#pragma once
// Window placement arithmetic. Free of <windows.h>.

namespace tessard {

struct WindowPlace {
  int x;
  int y;
};

// Centred across, one third down.
constexpr WindowPlace ExpiryDialogPlace(int screenWidth, int screenHeight, int width, int height) {
  const int across = screenWidth - width;
  const int down = screenHeight - height;
  // Halving rounds down, also for a window wider than the screen.
  return {across >= 0 ? across / 2 : (across - 1) / 2, down / 3};
}

// How much taller the expiry dialog's message becomes so that its text, measured in the
// dialog's font at the message's width, shows whole: nothing while the template's room holds it.
constexpr int ExpiryMessageGrowth(int roomHeight, int textHeight) {
  return textHeight > roomHeight ? textHeight - roomHeight : 0;
}

// How far a control of the expiry dialog moves down when the message grows: what starts below
// the message moves with its lower edge, what lies beside it stays.
constexpr int ExpiryControlShift(int controlTop, int messageBottom, int growth) {
  return controlTop >= messageBottom ? growth : 0;
}

}  // namespace tessard
