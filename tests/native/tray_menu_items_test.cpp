#include "app/tray_menu_items.h"

#include <gtest/gtest.h>

#include <string>

namespace tessard {
namespace {

// One letter per item in menu order, upper case when it can be chosen: E English,
// V Vietnamese, N NonCache, C Cache.
std::string Offered(int languageId, bool nonCache) {
  std::string letters;
  for (const TrayMenuItem& item : TrayMenuItems(languageId, nonCache)) {
    const char letter = item.command == CommandEnglish      ? 'E'
                        : item.command == CommandVietnamese ? 'V'
                        : item.command == CommandNonCache   ? 'N'
                                                            : 'C';
    letters += item.disabled ? static_cast<char>(letter - 'A' + 'a') : letter;
  }
  return letters;
}

TEST(TrayMenuItems, TheStartUpSettingsDisableWhatIsInForce) {
  EXPECT_EQ(Offered(1033, false), "eVNc");
  EXPECT_EQ(Offered(1033, true), "eVnC");
  EXPECT_EQ(Offered(1066, false), "EvNc");
  EXPECT_EQ(Offered(1066, true), "EvnC");
  // Any language other than Vietnamese counts as English.
  EXPECT_EQ(Offered(2052, false), "eVNc");
  EXPECT_EQ(Offered(2052, true), "eVnC");
  EXPECT_EQ(Offered(0, true), "eVnC");
}

}  // namespace
}  // namespace tessard
