#include "localisation/language_file.h"

#include <gtest/gtest.h>

#include "localisation/host_text_convert.h"
#include "tests/native/language_test_support.h"

namespace zeph {
namespace {

using tessard::HostToWide;
using tessard::testing::AnsiLines;
using tessard::testing::Utf16LittleEndian;

std::wstring ValueOf(LanguageFile& file, const std::wstring& section, const std::wstring& key) {
  LanguageSection* found = file.FindSection(section);
  return found == nullptr ? L"<no section>" : found->Lookup(key);
}

TEST(LanguageFileParse, RejectsEntriesOutsideSectionsAndEmptySectionNames) {
  LanguageFile file;
  EXPECT_FALSE(file.Parse(L"Key=Value\r\n[strings]\r\n"));
  EXPECT_FALSE(file.Parse(L"[strings]\r\n[]\r\n"));
  EXPECT_FALSE(file.Parse(L"[strings]\r\n[\r\n"));
  EXPECT_TRUE(file.Parse(L"[strings]\r\n1=x\r\n"));
}

TEST(LanguageFileParse, DuplicateKeyRejectsAlsoAcrossReopenedSections) {
  LanguageFile file;
  EXPECT_FALSE(file.Parse(L"[strings]\r\n1=a\r\n1=b\r\n"));
  EXPECT_FALSE(file.Parse(L"[strings]\r\n1=a\r\n[other]\r\n1=c\r\n[strings]\r\n1=b\r\n"));
  // The failed parse keeps what it read up to the failing line, the first value unchanged.
  EXPECT_EQ(ValueOf(file, L"strings", L"1"), L"a");
  EXPECT_EQ(ValueOf(file, L"other", L"1"), L"c");

  ASSERT_TRUE(file.Parse(L"[strings]\r\n1=a\r\n[other]\r\n[strings]\r\n2=b\r\n"));
  EXPECT_EQ(ValueOf(file, L"strings", L"1"), L"a");
  EXPECT_EQ(ValueOf(file, L"strings", L"2"), L"b");
  // Keys and section names are compared exactly.
  EXPECT_TRUE(file.Parse(L"[strings]\r\nkey=a\r\nKey=b\r\n[Strings]\r\nkey=c\r\n"));
  EXPECT_EQ(ValueOf(file, L"strings", L"Key"), L"b");
  EXPECT_EQ(ValueOf(file, L"Strings", L"key"), L"c");
}

TEST(LanguageFileParse, SectionNameRunsToTheLastBracketUntrimmed) {
  LanguageFile file;
  ASSERT_TRUE(file.Parse(L"[ strings ]\r\n1=a\r\n[a]b]tail\r\n2=b\r\n[open\r\n3=c\r\n"));
  EXPECT_EQ(file.FindSection(L"strings"), nullptr);
  EXPECT_EQ(ValueOf(file, L" strings ", L"1"), L"a");
  EXPECT_EQ(ValueOf(file, L"a]b", L"2"), L"b");
  EXPECT_EQ(ValueOf(file, L"open", L"3"), L"c");
}

TEST(LanguageFileParse, CommentsBlankLinesAndLinesWithoutEqualsAreIgnored) {
  LanguageFile file;
  ASSERT_TRUE(file.Parse(L"  \t; comment=1\r\n# also=2\r\nno equals here\r\n \t \r\n\r\n[s]\r\n\t ;x=y\r\n"));
  EXPECT_EQ(ValueOf(file, L"s", L";x"), kNotFoundMarker);
  // A comment before any header is no entry outside a section.
  EXPECT_TRUE(file.Parse(L"; before\r\n[s]\r\n"));
}

TEST(LanguageFileParse, KeyIsTrimmedAndValueKeepsItsBlanks) {
  const LanguageFile::Line line = LanguageFile::ParseLine(L"  Key \t= Value = more \t");
  EXPECT_EQ(line.kind, LanguageFile::LineKind::Entry);
  EXPECT_EQ(line.name, L"Key");
  EXPECT_EQ(line.value, L" Value = more \t");
  EXPECT_EQ(LanguageFile::ParseLine(L"=x").name, L"");
}

TEST(LanguageFileEscapes, ControlLettersBackslashRunsAndPlaceholder) {
  EXPECT_EQ(UnescapeValue(L"a\\nb"), L"a\nb");
  EXPECT_EQ(UnescapeValue(L"a\\\\nb"), L"a\\nb");
  EXPECT_EQ(UnescapeValue(L"x\\\\\\\\y"), L"x\\y");
  EXPECT_EQ(UnescapeValue(L"C:\\temp"), L"C:\temp");
  EXPECT_EQ(UnescapeValue(L"\\r\\t\\\\t\\\\r"), L"\r\t\\t\\r");
  EXPECT_EQ(UnescapeValue(L"a\x0001z"), L"a\\rz");
  EXPECT_EQ(UnescapeValue(L"\\x \\"), L"\\x \\");
  // The leftmost doubled backslash before the letter wins, so no LF comes out.
  EXPECT_EQ(UnescapeValue(L"\\\\\\n"), L"\\n");
}

TEST(LanguageFileLines, CrLfIsSearchedOverTheWholeRestFirst) {
  std::wstring_view rest = L"a=1\nb=2\r\nc=3";
  EXPECT_EQ(CutLine(rest), L"a=1\nb=2");
  EXPECT_EQ(CutLine(rest), L"c=3");
  EXPECT_TRUE(rest.empty());
  rest = L"x\ny";
  EXPECT_EQ(CutLine(rest), L"x");
  EXPECT_EQ(CutLine(rest), L"y");

  LanguageFile file;
  ASSERT_TRUE(file.Parse(L"[s]\nfirst=1\nsecond=2\r\nthird=3"));
  EXPECT_EQ(ValueOf(file, L"s", L"first"), kNotFoundMarker);
  LanguageFile mixed;
  ASSERT_TRUE(mixed.Parse(L"[s]\r\nfirst=1\nsecond=2\r\nthird=3"));
  EXPECT_EQ(ValueOf(mixed, L"s", L"first"), L"1\nsecond=2");
  EXPECT_EQ(ValueOf(mixed, L"s", L"second"), kNotFoundMarker);
  EXPECT_EQ(ValueOf(mixed, L"s", L"third"), L"3");
}

TEST(LanguageFileEncoding, ByteOrderMarksDecideTheDecoding) {
  EXPECT_EQ(LanguageFile::DetectEncoding("\xFF\xFE"), TextEncoding::Utf16LittleEndian);
  EXPECT_EQ(LanguageFile::DetectEncoding("\xFE\xFF[s]"), TextEncoding::Utf16BigEndian);
  EXPECT_EQ(LanguageFile::DetectEncoding("\xEF\xBB\xBF"), TextEncoding::Utf8);
  EXPECT_EQ(LanguageFile::DetectEncoding("\xEF\xBB"), TextEncoding::Ansi);
  EXPECT_EQ(LanguageFile::DetectEncoding("\xFF"), TextEncoding::Ansi);
  EXPECT_EQ(LanguageFile::DetectEncoding(""), TextEncoding::Ansi);

  EXPECT_EQ(LanguageFile::Decode(Utf16LittleEndian(u"Xin ch\u00E0o\0tail"), HostToWide), L"Xin ch\u00E0o");
  EXPECT_EQ(LanguageFile::Decode("\xFE\xFF\0a", HostToWide), std::nullopt);
  EXPECT_EQ(LanguageFile::Decode("\xEF\xBB\xBFTi\xE1\xBA\xBFng", HostToWide), L"Ti\u1EBFng");
  // Without a byte-order mark, UTF-16 is ANSI text that ends at its first zero byte.
  EXPECT_EQ(LanguageFile::Decode(Utf16LittleEndian(u"[s]", false), HostToWide), L"[");
  EXPECT_EQ(LanguageFile::Decode(std::string("\xE9t\xE9\0x", 5), HostToWide), L"\u00E9t\u00E9");
  // A final odd byte of UTF-16 pairs with a zero high byte.
  EXPECT_EQ(LanguageFile::Decode(std::string("\xFF\xFE"
                                             "a\0b",
                                             5),
                                 HostToWide),
            L"ab");
}

TEST(LanguageFileEncoding, EmptyAndBigEndianTextsAreRejected) {
  LanguageFile file;
  EXPECT_FALSE(file.Load("", HostToWide));
  EXPECT_FALSE(file.Load("\xFF\xFE", HostToWide));
  EXPECT_FALSE(file.Load(std::string("\0[s]", 4), HostToWide));
  EXPECT_FALSE(file.Load(Utf16LittleEndian(u"[s]\r\n").replace(0, 2, "\xFE\xFF"), HostToWide));
  EXPECT_TRUE(file.Load(Utf16LittleEndian(u"[s]\r\nk=v\r\n"), HostToWide));
  EXPECT_EQ(ValueOf(file, L"s", L"k"), L"v");
  EXPECT_TRUE(file.Load("\xEF\xBB\xBF[s]\r\nk=v", HostToWide));
  EXPECT_EQ(ValueOf(file, L"s", L"k"), L"v");
}

TEST(LanguageFileIntegers, ReadAsTheRuntimeDoes) {
  EXPECT_EQ(ReadLeadingInteger(L"1066"), 1066);
  EXPECT_EQ(ReadLeadingInteger(L" \t-12abc"), -12);
  EXPECT_EQ(ReadLeadingInteger(L"+7"), 7);
  EXPECT_EQ(ReadLeadingInteger(L"abc"), 0);
  EXPECT_EQ(ReadLeadingInteger(L"- 5"), 0);
  EXPECT_EQ(ReadLeadingInteger(L""), 0);
  EXPECT_EQ(ReadLeadingInteger(L"99999999999999999999"), 2147483647);
  EXPECT_EQ(ReadLeadingInteger(L"-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace zeph
