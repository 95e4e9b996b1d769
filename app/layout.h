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

}  // namespace tessard
