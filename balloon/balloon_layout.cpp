#include "balloon/balloon_layout.h"

#include <algorithm>

namespace tessard {

namespace {

constexpr int kSimplifiedChinese = 2052;

// The shape whose right and bottom edges lie at `right` and `bottom`, clockwise from the left
// edge, each corner cut by the same stair.
std::array<BalloonPoint, 25> Outline(int right, int bottom) {
  const int w = right;
  const int h = bottom;
  return {{{0, 5},         {1, 4},         {1, 3},         {3, 1},     {4, 1}, {5, 0},     {w - 5, 0},
           {w - 4, 1},     {w - 3, 1},     {w - 1, 3},     {w - 1, 4}, {w, 5}, {w, h - 5}, {w - 1, h - 4},
           {w - 1, h - 3}, {w - 3, h - 1}, {w - 4, h - 1}, {w - 5, h}, {5, h}, {4, h - 1}, {3, h - 1},
           {1, h - 3},     {1, h - 4},     {0, h - 5},     {0, 5}}};
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

BalloonExtent BalloonSize(std::span<const BalloonExtent> lines) {
  int width = 0;
  int height = 0;
  for (const BalloonExtent& line : lines) {
    width = std::max(width, line.width);
    height += line.height;
  }
  return {width + kBalloonMarginLeft + kBalloonMarginRight, height + kBalloonMarginTop + kBalloonMarginBottom};
}

BalloonRect BalloonPlace(int screenWidth, int screenHeight, BalloonExtent size) {
  const int right = screenWidth - kBalloonAnchorFromRight;
  const int bottom = screenHeight - kBalloonAnchorFromBottom;
  return {right - size.width, bottom - size.height, size.width, size.height};
}

std::array<BalloonPoint, 25> BalloonRegionPoints(BalloonExtent size) { return Outline(size.width, size.height); }

std::array<BalloonPoint, 25> BalloonOutlinePoints(BalloonExtent size) {
  return Outline(size.width - 1, size.height - 1);
}

const wchar_t* BalloonFontFace(int languageId) {
  return languageId == kSimplifiedChinese ? L"\u5B8B\u4F53" : L"MS Sans Serif";
}

}  // namespace tessard
