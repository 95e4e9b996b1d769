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
  EXPECT_EQ(BalloonSize(one, 96), (BalloonExtent{70, 23}));
  const std::vector<BalloonExtent> two{{40, 13}, {60, 14}};
  EXPECT_EQ(BalloonSize(two, 96), (BalloonExtent{90, 37})) << "every line inside the balloon";
}

TEST(BalloonLayout, LowerRightCornerAtTheAnchor) {
  EXPECT_EQ(BalloonPlace(1024, 768, {70, 23}, 96), (BalloonRect{884, 710, 70, 23}));
  EXPECT_EQ(BalloonPlace(800, 600, {300, 40}, 96), (BalloonRect{430, 525, 300, 40}));
}

// Closed outlines inside the balloon's rectangle (the drawn one a pixel in) that never reach
// its corners.
TEST(BalloonLayout, RegionAndOutlineCutTheCornersAndClose) {
  constexpr BalloonExtent kSize{100, 30};
  for (const auto& [points, last] :
       {std::pair{BalloonRegionPoints(kSize, 96), kSize},
        std::pair{BalloonOutlinePoints(kSize, 96), BalloonExtent{99, 29}}}) {
    EXPECT_EQ(points.front(), points.back());
    for (const BalloonPoint& point : points) {
      EXPECT_TRUE(point.x >= 0 && point.x <= last.width && point.y >= 0 && point.y <= last.height);
      EXPECT_FALSE((point.x == 0 || point.x == last.width) && (point.y == 0 || point.y == last.height));
    }
  }
}

// At 96 DPI: margins of 15 and 5 pixels, the anchor 70 and 35 pixels in, 12-pixel characters.
TEST(BalloonLayout, MarginsAnchorAndFontGrowWithTheDpi) {
  const std::vector<BalloonExtent> one{{60, 20}};
  EXPECT_EQ(BalloonSize(one, 144), (BalloonExtent{60 + 2 * 23, 20 + 2 * 8}));
  EXPECT_EQ(BalloonPlace(1024, 768, {106, 36}, 144), (BalloonRect{1024 - 105 - 106, 768 - 53 - 36, 106, 36}));
  EXPECT_EQ(BalloonTextOrigin(144), (BalloonPoint{23, 8}));
  EXPECT_EQ(BalloonFontHeight(120), 15);
}

TEST(BalloonLayout, AtMostTheScreenLessTheAnchorAtEitherSide) {
  EXPECT_EQ(BalloonWidest(800, 120), 800 - 2 * 88);
  EXPECT_EQ(BalloonBrokenSize(624, 45, 120), (BalloonExtent{624, 45 + 2 * 6}));
}

// Its steps, 1, 3, 4 and 5 pixels in at 96 DPI, lie half as far again in at 144.
TEST(BalloonLayout, TheCornersStairGrowsWithTheDpi) {
  const std::array<BalloonPoint, 25> points = BalloonRegionPoints({100, 30}, 144);
  EXPECT_EQ(std::vector<BalloonPoint>(points.begin(), points.begin() + 6),
            (std::vector<BalloonPoint>{{0, 8}, {2, 6}, {2, 5}, {5, 2}, {6, 2}, {8, 0}}));
}

TEST(BalloonLayout, FontFaceByLanguage) {
  EXPECT_EQ(std::wstring(BalloonFontFace(2052)), L"\u5B8B\u4F53");
  for (int language : {1033, 1066, 0}) EXPECT_EQ(std::wstring(BalloonFontFace(language)), L"MS Sans Serif");
}

}  // namespace
}  // namespace tessard
