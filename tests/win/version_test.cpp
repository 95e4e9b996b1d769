// Built three times; Wine reports to each copy the version its name asks for.

#include <gtest/gtest.h>

#include "platform/system_version.h"

namespace tessard {
namespace {

#if defined(TESSARD_EXPECTED_VERSION_win98)
TEST(SystemVersion, Windows98IsOfThe9xFamily) {
  const SystemVersion& version = TheSystemVersion();
  ASSERT_TRUE(version.valid);
  EXPECT_EQ(version.info.dwPlatformId, 1u);
  EXPECT_EQ(version.info.dwMajorVersion, 4u);
  EXPECT_EQ(version.info.dwMinorVersion, 10u);
  EXPECT_TRUE(IsWindows9xFamily());
  EXPECT_FALSE(IsNt6OrLater());
}
#elif defined(TESSARD_EXPECTED_VERSION_winxp)
TEST(SystemVersion, WindowsXpIsNeither9xNorNt6) {
  const SystemVersion& version = TheSystemVersion();
  ASSERT_TRUE(version.valid);
  EXPECT_EQ(version.info.dwMajorVersion, 5u);
  EXPECT_EQ(version.info.dwMinorVersion, 1u);
  EXPECT_FALSE(IsWindows9xFamily());
  EXPECT_FALSE(IsNt6OrLater());
}
#else
TEST(SystemVersion, DefaultWineIsNt6) {
  const SystemVersion& version = TheSystemVersion();
  ASSERT_TRUE(version.valid);
  EXPECT_EQ(version.info.dwPlatformId, 2u);
  EXPECT_GE(version.info.dwMajorVersion, 6u);
  EXPECT_FALSE(IsWindows9xFamily());
  EXPECT_TRUE(IsNt6OrLater());
}
#endif

}  // namespace
}  // namespace tessard
