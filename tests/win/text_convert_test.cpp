#include "platform/text_convert.h"

#include <gtest/gtest.h>

namespace tessard {
namespace {

TEST(TextConvert, EmptyStaysEmpty) {
  EXPECT_EQ(ToWide(std::string_view(), kCodePageAnsi), L"");
  EXPECT_EQ(ToNarrow(L"", kCodePageAnsi), "");
}

TEST(TextConvert, EmbeddedZeroEndsTheWideResult) {
  const std::string text("ab\0cd", 5);
  EXPECT_EQ(ToWide(text, kCodePageAnsi), L"ab");
}

TEST(TextConvert, Utf8RoundTripsVietnamese) {
  const std::wstring vietnamese = L"Ti\u1EBFng Vi\u1EC7t";
  const std::string utf8 = ToNarrow(vietnamese, kCodePageUtf8);
  EXPECT_EQ(utf8, "Ti\xE1\xBA\xBFng Vi\xE1\xBB\x87t");
  EXPECT_EQ(ToWide(utf8, kCodePageUtf8), vietnamese);
}

TEST(TextConvert, AnsiRoundTripsLatinText) {
  EXPECT_EQ(ToWide(std::string_view("Token 01  reader"), kCodePageAnsi), L"Token 01  reader");
  EXPECT_EQ(ToNarrow(L"3.0.10", kCodePageAnsi), "3.0.10");
}

TEST(TextConvert, CharactersMissingFromAnsiAreSubstituted) {
  const std::string narrow = ToNarrow(L"a\u4E2Db", kCodePageAnsi);
  ASSERT_EQ(narrow.size(), 3u);
  EXPECT_EQ(narrow.front(), 'a');
  EXPECT_EQ(narrow.back(), 'b');
  EXPECT_NE(narrow[1], '\0');
}

TEST(TextConvert, WideFormIsACopy) {
  EXPECT_EQ(ToWide(std::wstring_view(L"Xin ch\u00E0o"), kCodePageUtf8), L"Xin ch\u00E0o");
}

}  // namespace
}  // namespace tessard
