#include "update/update_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace tessard {
namespace {

TEST(UpdateConfigText, TakesTheDaysAndThePageOfCrLfLines) {
  const UpdateConfig config = ParseUpdateConfig("ID01=45\r\nID02=https://info.example/page\r\nID03=0\r\n");
  EXPECT_EQ(config.warnDays, 45);
  EXPECT_EQ(config.pageAddress, "https://info.example/page");
}

TEST(UpdateConfigText, AValueEndsAtItsLineEndWhateverTheLineEnd) {
  const UpdateConfig lf = ParseUpdateConfig("ID01=45\nID02=http://a.example/x\nID03=0\n");
  EXPECT_EQ(lf.warnDays, 45) << "a line feed alone ends a line too";
  EXPECT_EQ(lf.pageAddress, "http://a.example/x");
  EXPECT_EQ(ParseUpdateConfig("ID01=7\r\nID02=http://a.example/\r\n").pageAddress, "http://a.example/")
      << "no ID03=: the line end is still no part of the page";
  EXPECT_EQ(ParseUpdateConfig("ID02=http://b.example/ \r\nID01=12\r\n").warnDays, 12) << "in any order";
  EXPECT_EQ(ParseUpdateConfig("ID01=9ID02=http://c.example/").warnDays, 9) << "a key ends the value before it";
}

TEST(UpdateConfigText, DaysThatAreNoPositiveNumberGiveThirtyAndKeepThePage) {
  for (const char* days : {"0", "-5", "abc", "\t"}) {
    const UpdateConfig config = ParseUpdateConfig(std::string("ID01=") + days + "\r\nID02=http://p.example/\r\n");
    EXPECT_EQ(config.warnDays, 30) << days;
    EXPECT_EQ(config.pageAddress, "http://p.example/") << days;
  }
  EXPECT_EQ(ParseUpdateConfig("ID01= 12x \r\nID02=\r\n").warnDays, 12);
  EXPECT_EQ(ParseUpdateConfig("ID01=99999999999\r\nID02=\r\n").warnDays, 2147483647);
}

TEST(UpdateConfigText, BlankOrMissingKeysTakeNothing) {
  const UpdateConfig blankDays = ParseUpdateConfig("ID01=   \r\nID02=http://p.example/\r\n");
  EXPECT_EQ(blankDays.warnDays, 30);
  EXPECT_FALSE(blankDays.pageAddress) << "a blank first value ends the reading";
  const UpdateConfig noPageKey = ParseUpdateConfig("ID01=45\r\nID03=0\r\n");
  EXPECT_EQ(noPageKey.warnDays, 30);
  EXPECT_FALSE(noPageKey.pageAddress);
  const UpdateConfig blankPage = ParseUpdateConfig("ID01=45\r\nID02=   \r\nID03=0");
  EXPECT_EQ(blankPage.warnDays, 45);
  EXPECT_FALSE(blankPage.pageAddress);
  EXPECT_EQ(ParseUpdateConfig("").warnDays, 30);
}

TEST(VersionComparison, IsTextualAsTheServerExpects) {
  EXPECT_FALSE(IsNewerVersion("3.0.9", "3.0.10")) << "textually 3.0.9 sorts after 3.0.10";
  EXPECT_TRUE(IsNewerVersion("3.0.10", "3.0.9"));
  EXPECT_TRUE(IsNewerVersion("", "1"));
  EXPECT_FALSE(IsNewerVersion("2.1", "2.1"));
  EXPECT_TRUE(IsNewerVersion("2.1", "2.1.1")) << "a prefix sorts first";
  EXPECT_TRUE(IsNewerVersion("3.0", "3.\xE9")) << "bytes compare unsigned";
}

TEST(UpdateAddresses, PagesAreWebAddressesAndFoldersHttpsEndingInASlash) {
  EXPECT_TRUE(IsWebAddress(L"http://info.example/"));
  EXPECT_TRUE(IsWebAddress(L"HTTPS://info.example/a?b"));
  for (const wchar_t* refused : {L"javascript:alert(1)", L"file:///C:/Windows/notepad.exe", L"http://", L"",
                                  L"ftp://info.example/", L" http://info.example/"}) {
    EXPECT_FALSE(IsWebAddress(refused)) << testing::PrintToString(std::wstring(refused));
  }
  EXPECT_TRUE(IsUsableUpdateFolder(L"https://updates.example/Update/"));
  for (const wchar_t* refused : {L"http://updates.example/Update/", L"https://updates.example/Update", L"https://"}) {
    EXPECT_FALSE(IsUsableUpdateFolder(refused)) << testing::PrintToString(std::wstring(refused));
  }
}

}  // namespace
}  // namespace tessard
