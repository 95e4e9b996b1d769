#include "token/token_event.h"

#include <gtest/gtest.h>

#include <vector>

#include "token/monitor_backoff.h"

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

TEST(MonitorBackoff, DoublesFromTenMillisecondsToOneSecondAndStopsAfterASuccess) {
  FailureBackoff backoff;
  std::vector<unsigned> pauses;
  for (int i = 0; i < 9; ++i) pauses.push_back(backoff.PauseAfter(true));
  EXPECT_EQ(pauses, (std::vector<unsigned>{10, 20, 40, 80, 160, 320, 640, 1000, 1000}));
  EXPECT_EQ(backoff.PauseAfter(false), 0u) << "an event is asked for at once after a success";
  EXPECT_EQ(backoff.PauseAfter(true), 10u) << "a new run of failures starts short again";
}

}  // namespace
}  // namespace tessard
