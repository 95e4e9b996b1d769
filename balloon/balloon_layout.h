#pragma once
// The balloon window's arithmetic: the pieces its text is measured in, its size and place,
// and the two 25-point outlines of its shape (a rectangle with its four corners cut by a
// three-step stair five pixels deep). Its measures are pixels at 96 DPI, scaled to the DPI of
// the display, which each function takes. Free of <windows.h>.

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace tessard {

struct BalloonPoint {
  int x;
  int y;
  bool operator==(const BalloonPoint&) const = default;
};

struct BalloonExtent {
  int width;
  int height;
  bool operator==(const BalloonExtent&) const = default;
};

struct BalloonRect {
  int left;
  int top;
  int width;
  int height;
  bool operator==(const BalloonRect&) const = default;
};

inline constexpr int kBalloonMarginLeft = 15;
inline constexpr int kBalloonMarginRight = 15;
inline constexpr int kBalloonMarginTop = 5;
inline constexpr int kBalloonMarginBottom = 5;
// The balloon's lower right corner lies this far from the screen's right and bottom edges,
// wherever the taskbar is.
inline constexpr int kBalloonAnchorFromRight = 70;
inline constexpr int kBalloonAnchorFromBottom = 35;
inline constexpr int kBalloonFontHeight = 12;     // of the characters, 9 points
inline constexpr int kBalloonTextCapacity = 256;  // 255 characters and the terminator

// The text's lines, split at each line feed; a carriage return stays in its line.
std::vector<std::wstring_view> BalloonLines(std::wstring_view text);

// The height of the font's characters in pixels.
int BalloonFontHeight(int dpi);

// Where the text starts, inside the top and left margins.
BalloonPoint BalloonTextOrigin(int dpi);

// As wide as the widest line and as tall as all lines together, with the margins. (One line
// gives its own height plus the margins.)
BalloonExtent BalloonSize(std::span<const BalloonExtent> lines, int dpi);

// The widest the balloon may be: the screen less the anchor's distance from its right edge, at
// either side.
int BalloonWidest(int screenWidth, int dpi);

// The size of the widest balloon, for a text broken into lines at word ends to fit it: that wide,
// and as tall as the broken text with the margins.
BalloonExtent BalloonBrokenSize(int widest, int textHeight, int dpi);

// Its lower right corner at the anchor.
BalloonRect BalloonPlace(int screenWidth, int screenHeight, BalloonExtent size, int dpi);

// The window region, in window coordinates; the last point repeats the first.
std::array<BalloonPoint, 25> BalloonRegionPoints(BalloonExtent size, int dpi);

// The drawn outline: the region moved in by one pixel at the right and bottom edges, so that
// the one-pixel frame lies inside the region.
std::array<BalloonPoint, 25> BalloonOutlinePoints(BalloonExtent size, int dpi);

// The font face for the language number read at start-up.
const wchar_t* BalloonFontFace(int languageId);

}  // namespace tessard
