#include "balloon/balloon_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessard {
namespace {

TEST(BalloonLayout, LinesEndAtLineFeedsOnly) {
  EXPECT_EQ(BalloonLines(L"Token"), (std::vector<std::wstring_view>{L"Token"}));
  EXPECT_EQ(BalloonLines(L"a\nbc\r\n"), (std::vector<std::wstring_view>{L"a", L"bc\r", L""}));
}

TEST(BalloonLayout, AsWideAsTheWidestLineAndAsTallAsAllLines) {
  const std::vector<BalloonExtent> one{{40, 13}};
  EXPECT_EQ(BalloonSize(one), (BalloonExtent{70, 23}));
  const std::vector<BalloonExtent> two{{40, 13}, {60, 14}};
  EXPECT_EQ(BalloonSize(two), (BalloonExtent{90, 37})) << "every line inside the balloon";
}

TEST(BalloonLayout, LowerRightCornerAtTheAnchor) {
  EXPECT_EQ(BalloonPlace(1024, 768, {70, 23}), (BalloonRect{884, 710, 70, 23}));
  EXPECT_EQ(BalloonPlace(800, 600, {300, 40}), (BalloonRect{430, 525, 300, 40}));
}

// Closed outlines inside the balloon's rectangle (the drawn one a pixel in) that never reach
// its corners.
TEST(BalloonLayout, RegionAndOutlineCutTheCornersAndClose) {
  constexpr BalloonExtent kSize{100, 30};
  for (const auto& [points, last] :
       {std::pair{BalloonRegionPoints(kSize), kSize}, std::pair{BalloonOutlinePoints(kSize), BalloonExtent{99, 29}}}) {
    EXPECT_EQ(points.front(), points.back());
    for (const BalloonPoint& point : points) {
      EXPECT_TRUE(point.x >= 0 && point.x <= last.width && point.y >= 0 && point.y <= last.height);
      EXPECT_FALSE((point.x == 0 || point.x == last.width) && (point.y == 0 || point.y == last.height));
    }
  }
}

TEST(BalloonLayout, FontFaceByLanguage) {
  EXPECT_EQ(std::wstring(BalloonFontFace(2052)), L"\u5B8B\u4F53");
  for (int language : {1033, 1066, 0}) EXPECT_EQ(std::wstring(BalloonFontFace(language)), L"MS Sans Serif");
}

}  // namespace
}  // namespace tessard
