#include "platform/version_rules.h"

#include <gtest/gtest.h>

namespace tessard {
namespace {

TEST(VersionRules, Windows9xFamilyIs95And98AndMe) {
  EXPECT_TRUE(IsWindows9xVersion(1, 4, 0));
  EXPECT_TRUE(IsWindows9xVersion(1, 4, 10));
  EXPECT_TRUE(IsWindows9xVersion(1, 4, 90));
  EXPECT_FALSE(IsWindows9xVersion(1, 4, 11));
  EXPECT_FALSE(IsWindows9xVersion(2, 4, 0));  // NT 4.0
  EXPECT_FALSE(IsWindows9xVersion(2, 5, 1));
  EXPECT_FALSE(IsWindows9xVersion(0, 4, 10));
}

TEST(VersionRules, Nt6OrLaterIsVistaAndLater) {
  EXPECT_FALSE(IsNt6OrLaterVersion(2, 5));
  EXPECT_TRUE(IsNt6OrLaterVersion(2, 6));
  EXPECT_TRUE(IsNt6OrLaterVersion(2, 10));
  EXPECT_FALSE(IsNt6OrLaterVersion(1, 6));
}

}  // namespace
}  // namespace tessard
