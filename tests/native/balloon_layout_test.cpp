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

TEST(BalloonLayout, RegionAndOutlineCutTheCornersAndClose) {
  const auto region = BalloonRegionPoints({100, 30});
  EXPECT_EQ(region.front(), region.back());
  EXPECT_EQ(region[5], (BalloonPoint{5, 0}));
  EXPECT_EQ(region[6], (BalloonPoint{95, 0}));
  EXPECT_EQ(region[11], (BalloonPoint{100, 5}));
  EXPECT_EQ(region[12], (BalloonPoint{100, 25}));
  EXPECT_EQ(region[17], (BalloonPoint{95, 30}));
  EXPECT_EQ(region[23], (BalloonPoint{0, 25}));
  const auto outline = BalloonOutlinePoints({100, 30});
  EXPECT_EQ(outline.front(), outline.back());
  EXPECT_EQ(outline[0], (BalloonPoint{0, 5})) << "the left and top edges stay";
  EXPECT_EQ(outline[6], (BalloonPoint{94, 0}));
  EXPECT_EQ(outline[9], (BalloonPoint{98, 3}));
  EXPECT_EQ(outline[12], (BalloonPoint{99, 24}));
  EXPECT_EQ(outline[17], (BalloonPoint{94, 29}));
  EXPECT_EQ(outline[18], (BalloonPoint{5, 29}));
  EXPECT_EQ(outline[23], (BalloonPoint{0, 24}));
}

TEST(BalloonLayout, FontFaceByLanguage) {
  EXPECT_EQ(std::wstring(BalloonFontFace(2052)), L"\u5B8B\u4F53");
  for (int language : {1033, 1066, 0}) EXPECT_EQ(std::wstring(BalloonFontFace(language)), L"MS Sans Serif");
}

}  // namespace
}  // namespace tessard
