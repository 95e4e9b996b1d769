#include "token/token_event.h"

#include <gtest/gtest.h>

namespace tessard {
namespace {

TEST(TokenEventPacking, SlotHighCodeLowBothTruncatedTo16Bits) {
  EXPECT_EQ(PackTokenEvent(3, 1), 0x00030001u);
  EXPECT_EQ(PackTokenEvent(0x12345, 2), 0x23450002u);
  EXPECT_EQ(PackTokenEvent(1, 0x10003), 0x00010003u);
  const uint32_t packed = PackTokenEvent(65537, 0x1FFFF);
  EXPECT_EQ(SlotOfPackedEvent(packed), 1u);
  EXPECT_EQ(CodeOfPackedEvent(packed), 0xFFFFu);
}

TEST(TokenEventRoute, EveryCodeRange) {
  EXPECT_EQ(RouteOfTokenEvent(1), TokenEventRoute::Insertion);
  EXPECT_EQ(RouteOfTokenEvent(2), TokenEventRoute::Removal);
  for (uint32_t code : {3u, 4u, 5u}) EXPECT_EQ(RouteOfTokenEvent(code), TokenEventRoute::Worker) << code;
  for (uint32_t code : {256u, 263u, 270u}) EXPECT_EQ(RouteOfTokenEvent(code), TokenEventRoute::Progress) << code;
  for (uint32_t code : {0u, 6u, 100u, 255u, 271u, 0xFFFFu}) {
    EXPECT_EQ(RouteOfTokenEvent(code), TokenEventRoute::Ignored) << code;
  }
}

}  // namespace
}  // namespace tessard
