#include "balloon/balloon_layout.h"

#include <algorithm>

#include "platform/dpi_rules.h"

namespace tessard {

namespace {

constexpr int kSimplifiedChinese = 2052;

// The shape whose right and bottom edges lie at `right` and `bottom`, clockwise from the left
// edge, each corner cut by the same stair: its steps lie 1, 3, 4 and 5 pixels in at 96 DPI.
std::array<BalloonPoint, 25> Outline(int right, int bottom, int dpi) {
  const int w = right;
  const int h = bottom;
  const int a = ScaleToDpi(1, dpi);
  const int b = ScaleToDpi(3, dpi);
  const int c = ScaleToDpi(4, dpi);
  const int d = ScaleToDpi(5, dpi);
  return {{{0, d},         {a, c},         {a, b},         {b, a},     {c, a}, {d, 0},     {w - d, 0},
           {w - c, a},     {w - b, a},     {w - a, b},     {w - a, c}, {w, d}, {w, h - d}, {w - a, h - c},
           {w - a, h - b}, {w - b, h - a}, {w - c, h - a}, {w - d, h}, {d, h}, {c, h - a}, {b, h - a},
           {a, h - b},     {a, h - c},     {0, h - d},     {0, d}}};
}

}  // namespace

std::vector<std::wstring_view> BalloonLines(std::wstring_view text) {
  std::vector<std::wstring_view> lines;
  for (size_t start = 0;;) {
    const size_t feed = text.find(L'\n', start);
    lines.push_back(text.substr(start, feed == std::wstring_view::npos ? std::wstring_view::npos : feed - start));
    if (feed == std::wstring_view::npos) return lines;
    start = feed + 1;
  }
}

int BalloonFontHeight(int dpi) { return ScaleToDpi(kBalloonFontHeight, dpi); }

BalloonPoint BalloonTextOrigin(int dpi) {
  return {ScaleToDpi(kBalloonMarginLeft, dpi), ScaleToDpi(kBalloonMarginTop, dpi)};
}

BalloonExtent BalloonSize(std::span<const BalloonExtent> lines, int dpi) {
  int width = 0;
  int height = 0;
  for (const BalloonExtent& line : lines) {
    width = std::max(width, line.width);
    height += line.height;
  }
  return {width + ScaleToDpi(kBalloonMarginLeft, dpi) + ScaleToDpi(kBalloonMarginRight, dpi),
          height + ScaleToDpi(kBalloonMarginTop, dpi) + ScaleToDpi(kBalloonMarginBottom, dpi)};
}

int BalloonWidest(int screenWidth, int dpi) { return screenWidth - 2 * ScaleToDpi(kBalloonAnchorFromRight, dpi); }

BalloonExtent BalloonBrokenSize(int widest, int textHeight, int dpi) {
  return {widest, textHeight + ScaleToDpi(kBalloonMarginTop, dpi) + ScaleToDpi(kBalloonMarginBottom, dpi)};
}

BalloonRect BalloonPlace(int screenWidth, int screenHeight, BalloonExtent size, int dpi) {
  const int right = screenWidth - ScaleToDpi(kBalloonAnchorFromRight, dpi);
  const int bottom = screenHeight - ScaleToDpi(kBalloonAnchorFromBottom, dpi);
  return {right - size.width, bottom - size.height, size.width, size.height};
}

std::array<BalloonPoint, 25> BalloonRegionPoints(BalloonExtent size, int dpi) {
  return Outline(size.width, size.height, dpi);
}

std::array<BalloonPoint, 25> BalloonOutlinePoints(BalloonExtent size, int dpi) {
  return Outline(size.width - 1, size.height - 1, dpi);
}

const wchar_t* BalloonFontFace(int languageId) {
  return languageId == kSimplifiedChinese ? L"\u5B8B\u4F53" : L"MS Sans Serif";
}

}  // namespace tessard
