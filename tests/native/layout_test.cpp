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

}  // namespace
}  // namespace tessard
