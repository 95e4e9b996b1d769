#pragma once
// Pixel measures made for a display of 96 DPI, at the DPI of the display in use. Free of
// <windows.h>.

namespace tessard {

inline constexpr int kStandardDpi = 96;

// A length of zero or more pixels, rounded to the nearest pixel with halves up, as MulDiv
// rounds.
constexpr int ScaleToDpi(int pixelsAt96, int dpi) { return (pixelsAt96 * dpi + kStandardDpi / 2) / kStandardDpi; }

}  // namespace tessard
