#include "localisation/format_text.h"

#include <gtest/gtest.h>

namespace tessard {
namespace {

TEST(FormatText, FillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatText(L"%s %s", {L"Orvane-CA Token", L"Manager"}), L"Orvane-CA Token Manager");
  EXPECT_EQ(FormatText(L"Saving %s, please wait...", {L"Private Key"}), L"Saving Private Key, please wait...");
}

TEST(FormatText, PercentSignsOfTranslationsNeverReadArguments) {
  EXPECT_EQ(FormatText(L"100%% %d %n %", {}), L"100% %d %n %");
  EXPECT_EQ(FormatText(L"%s and %s", {L"one"}), L"one and ");
  EXPECT_EQ(FormatText(L"no placeholder", {L"unused"}), L"no placeholder");
}

}  // namespace
}  // namespace tessard
