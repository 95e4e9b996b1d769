#include "app/layout.h"

#include <gtest/gtest.h>

namespace tessard {
namespace {

TEST(ExpiryDialogPlace, CentredAcrossAndAThirdDown) {
  const WindowPlace place = ExpiryDialogPlace(1024, 768, 340, 150);
  EXPECT_EQ(place.x, 342);
  EXPECT_EQ(place.y, 206);
  const WindowPlace odd = ExpiryDialogPlace(1025, 769, 340, 150);
  EXPECT_EQ(odd.x, 342);
  EXPECT_EQ(odd.y, 206);
}

TEST(ExpiryDialogPlace, WiderThanScreenRoundsDown) {
  EXPECT_EQ(ExpiryDialogPlace(100, 100, 103, 100).x, -2);
}

// At 96 DPI the message spans about 11 to 56 pixels, the button starts at 110.
TEST(ExpiryDialogLayout, TheMessageGrowsForATextTallerThanItsRoomAndWhatLiesBelowMovesWithIt) {
  EXPECT_EQ(ExpiryMessageGrowth(45, 45), 0);
  EXPECT_EQ(ExpiryMessageGrowth(45, 52), 7);
  EXPECT_EQ(ExpiryControlShift(110, 56, 7), 7);
  EXPECT_EQ(ExpiryControlShift(56, 56, 7), 7) << "right below it";
  EXPECT_EQ(ExpiryControlShift(11, 56, 7), 0) << "the icon beside it";
}

}  // namespace
}  // namespace tessard
