#include "localisation/multi_language.h"

#include <gtest/gtest.h>

#include "tests/native/language_test_support.h"

namespace zeph {
namespace {

using tessard::testing::AnsiLines;
using tessard::testing::FakeLanguagePlatform;
using tessard::testing::Utf16LittleEndian;

const std::wstring kFolder = L"C:\\Tokens\\";
const std::wstring kBase = L"lang\\zxtokd";
const std::wstring kFile1066 = L"C:\\Tokens\\lang\\zxtokd_1066.lng";
const std::wstring kFile1033 = L"C:\\Tokens\\lang\\zxtokd_1033.lng";

std::string Vietnamese(std::initializer_list<const char*> extra = {}) {
  std::string text = AnsiLines({"[settings]", "CodePage=1066", "Language=Vietnamese", "[strings]", "10000=Xin chao"});
  return text + AnsiLines(extra);
}

class Store : public ::testing::Test {
 protected:
  void Configure(int32_t number) {
    store.SetFolder(kFolder);
    store.SetBaseName(kBase);
    store.SetLanguageId(number);
  }
  std::wstring Text(int32_t id, const std::wstring& english = L"English text") {
    return LocalisedText(store, id, english);
  }
  // Loads one file's content for 1066 and answers the first request.
  std::wstring LoadAndAsk(const std::string& content, int32_t id = 10000) {
    platform.files[kFile1066] = content;
    Configure(1066);
    return Text(id);
  }

  FakeLanguagePlatform platform;
  MultiLanguage store{platform};
};

TEST(LanguageFileNames, SeparatorNumberWidthAndLimits) {
  EXPECT_EQ(LanguageFileName(L"C:\\Tokens\\", L"lang\\zxtokd", 1066), L"C:\\Tokens\\lang\\zxtokd_1066.lng");
  EXPECT_EQ(LanguageFileName(L"C:\\Tokens", L"lang\\zxtokd", 1066), L"C:\\Tokens/lang\\zxtokd_1066.lng");
  EXPECT_EQ(LanguageFileName(L"C:\\T/", L"x", 9), L"C:\\T//x_0009.lng");
  EXPECT_EQ(LanguageFileName(L"C:\\T\\", L"x", 65535), L"C:\\T\\x_65535.lng");
  EXPECT_EQ(LanguageFileName(L"C:\\T\\", L"x", -5), L"C:\\T\\x_-005.lng");
  // The whole name must fit in 259 characters.
  EXPECT_EQ(LanguageFileName(std::wstring(249, L'a') + L"\\", L"", 1033)->size(), 259u);
  EXPECT_EQ(LanguageFileName(std::wstring(200, L'a'), std::wstring(49, L'b'), 1033)->size(), 259u);
  EXPECT_FALSE(LanguageFileName(std::wstring(250, L'a') + L"\\", L"", 1033).has_value());
  EXPECT_FALSE(LanguageFileName(std::wstring(249, L'a') + L"\\", L"", 65535).has_value());
  EXPECT_FALSE(LanguageFileName(std::wstring(300, L'a'), L"", 1).has_value());
}

TEST_F(Store, Utf16FileLoadsWithDefaultsForTheFont) {
  platform.files[kFile1066] =
      Utf16LittleEndian(u"[settings]\r\nCodePage=1066\r\nLanguage=Vietnamese\r\n[strings]\r\n10000=Xin ch\u00E0o\r\n");
  Configure(1066);
  EXPECT_EQ(Text(10000), L"Xin ch\u00E0o");
  EXPECT_EQ(Text(10001, L"Orvane-CA Token is removed!"), L"Orvane-CA Token is removed!");
  EXPECT_EQ(store.LanguageId(), 1066);
  EXPECT_EQ(store.LanguageName(), L"Vietnamese");
  EXPECT_EQ(store.FontFace(), L"Tahoma");
  EXPECT_EQ(store.FontHeight(), 8);
  EXPECT_EQ(platform.reads, std::vector<std::wstring>{kFile1066});
}

// Loads the content as the 1066 file into a store of its own and expects English throughout.
void ExpectRejected(FakeLanguagePlatform& platform, const std::string& content) {
  MultiLanguage fresh(platform);
  platform.files[kFile1066] = content;
  fresh.SetFolder(kFolder);
  fresh.SetBaseName(kBase);
  fresh.SetLanguageId(1066);
  EXPECT_EQ(LocalisedText(fresh, 10000, L"english"), L"english") << content;
  EXPECT_EQ(CurrentLanguageNumber(fresh), 1033) << content;
  EXPECT_EQ(fresh.LanguageName(), L"English") << content;
  EXPECT_TRUE(fresh.UseBuiltIn());
  EXPECT_TRUE(fresh.LoadAttempted());
  EXPECT_FALSE(fresh.Loaded());
}

TEST_F(Store, MissingRequiredPartsRejectTheFile) {
  ExpectRejected(platform, AnsiLines({"[settings]", "CodePage=1066", "Language=Vietnamese", "[other]", "10000=x"}));
  ExpectRejected(platform, AnsiLines({"[settings]", "CodePage=1066", "[strings]", "10000=x"}));
  ExpectRejected(platform, AnsiLines({"[settings]", "CodePage=1066",
                                      "Language=DEFAULT_F94174A7C1D94A0E9D57739193CF18CC", "[strings]", "10000=x"}));
  ExpectRejected(platform, AnsiLines({"[settings]", "CodePage=-1", "Language=V", "[strings]", "10000=x"}));
  ExpectRejected(platform, AnsiLines({"[settings]", "Language=V", "[strings]", "10000=x"}));
  ExpectRejected(platform, AnsiLines({"[settings]", "CodePage=1066", "Language=V", "[ strings ]", "10000=x"}));
  ExpectRejected(platform, AnsiLines({"[strings]", "10000=x"}));
}

TEST_F(Store, ParseErrorsAndUnreadableFilesFallBackToEnglish) {
  for (const std::string& content : {Vietnamese({"10000=again"}), "k=v\r\n" + Vietnamese(), Vietnamese({"[]"}),
                                     Vietnamese({"["}), std::string("\xFE\xFF", 2) + Vietnamese(), std::string()}) {
    ExpectRejected(platform, content);
  }
  ExpectRejected(platform, Vietnamese().insert(0, "\xFF\xFE"));
}

TEST_F(Store, SettingsIntegersAndFontValues) {
  EXPECT_EQ(LoadAndAsk(AnsiLines({"[settings]", "CodePage=abc", "Language=V", "FontHeight=-1", "FontFace=Arial",
                                  "[strings]", "10000=x"})),
            L"x");
  EXPECT_EQ(store.LanguageId(), 0);
  EXPECT_EQ(store.FontHeight(), 8);
  EXPECT_EQ(store.FontFace(), L"Arial");
  store.SetLanguageId(1066);
  EXPECT_EQ(Text(10000), L"x");
  EXPECT_EQ(store.FontHeight(), 8);
  platform.files[kFile1066] = AnsiLines({"[settings]", "CodePage= 1066x", "Language=V", "FontHeight=12", "[strings]"});
  store.SetLanguageId(7);
  store.SetLanguageId(1066);
  EXPECT_EQ(Text(10000), L"English text");
  EXPECT_EQ(store.LanguageId(), 1066);
  EXPECT_EQ(store.FontHeight(), 12);
  EXPECT_FALSE(store.UseBuiltIn());
}

TEST_F(Store, ValuesAreCutAbove3500Characters) {
  const std::string a3500(3500, 'a');
  const std::string b3501(3501, 'b');
  EXPECT_EQ(LoadAndAsk(Vietnamese({("1=" + a3500).c_str(), ("2=" + b3501).c_str(), "3="}), 1),
            std::wstring(3500, L'a'));
  EXPECT_EQ(Text(2), std::wstring(3499, L'b'));
  // An empty value replaces the English text; only a missing key falls back.
  EXPECT_EQ(Text(3), L"");
  EXPECT_EQ(Text(4), L"English text");
  EXPECT_EQ(Text(-4), L"English text");
}

TEST_F(Store, NumberNotSetTriesTheUserLanguageThenEnglish) {
  platform.userLanguage = 1066;
  platform.files[kFile1033] =
      AnsiLines({"[settings]", "CodePage=1033", "Language=English", "[strings]", "10000=Inserted"});
  store.SetFolder(kFolder);
  store.SetBaseName(kBase);
  EXPECT_EQ(Text(10000), L"English text");
  EXPECT_EQ(platform.reads, std::vector<std::wstring>{kFile1066});
  EXPECT_EQ(Text(10000), L"Inserted");
  EXPECT_EQ(Text(10000), L"Inserted");
  EXPECT_EQ(platform.reads, (std::vector<std::wstring>{kFile1066, kFile1033}));
}

TEST_F(Store, NumberNotSetAndNoFileAtAllEndsAfterTwoAttempts) {
  store.SetFolder(kFolder);
  store.SetBaseName(kBase);
  platform.userLanguage = 1066;
  EXPECT_EQ(CurrentLanguageNumber(store), 1033);
  EXPECT_EQ(Text(1), L"English text");
  EXPECT_EQ(Text(1), L"English text");
  EXPECT_EQ(platform.reads, (std::vector<std::wstring>{kFile1066, kFile1033}));
}

TEST_F(Store, SettersReloadOnlyForChangedValues) {
  EXPECT_EQ(LoadAndAsk(Vietnamese()), L"Xin chao");
  store.SetLanguageId(1066);
  store.SetFolder(kFolder);
  store.SetBaseName(kBase);
  EXPECT_EQ(Text(10000), L"Xin chao");
  EXPECT_EQ(platform.reads.size(), 1u);

  store.SetFolder(L"C:\\Tokens");
  // Pending: the previous file is no longer consulted, even before the next load.
  EXPECT_EQ(store.GetString(L"10000", L"pending"), L"pending");
  EXPECT_EQ(store.GetInt(L"CodePage", 5), 5);
  EXPECT_EQ(Text(10000), L"English text");
  EXPECT_EQ(platform.reads.back(), L"C:\\Tokens/lang\\zxtokd_1066.lng");
  // The failed load left 1033 as the number, so asking for 1066 again is a change.
  store.SetFolder(kFolder);
  store.SetLanguageId(1066);
  EXPECT_EQ(Text(10000), L"Xin chao");
  EXPECT_EQ(platform.reads.size(), 3u);
  store.SetBaseName(L"lang\\zxmgr");
  EXPECT_EQ(Text(10000), L"English text");
  EXPECT_EQ(platform.reads.back(), L"C:\\Tokens\\lang\\zxmgr_1066.lng");
}

TEST_F(Store, CodePageOtherThanTheFileNumberReloadsOnceMore) {
  EXPECT_EQ(LoadAndAsk(AnsiLines({"[settings]", "CodePage=1258", "Language=V", "[strings]", "10000=x"})), L"x");
  store.SetLanguageId(1066);
  EXPECT_EQ(Text(10000), L"x");
  EXPECT_EQ(platform.reads.size(), 2u);
}

TEST_F(Store, DefaultsComeFromTheExecutable) {
  platform.userLanguage = 1033;
  platform.executablePath = L"C:\\Prog.Files\\tessard.v3.exe";
  EXPECT_EQ(CurrentLanguageNumber(store), 1033);
  EXPECT_EQ(store.Folder(), L"C:\\Prog.Files");
  EXPECT_EQ(store.BaseName(), L"tessard.v3");
  EXPECT_EQ(platform.reads, std::vector<std::wstring>{L"C:\\Prog.Files/tessard.v3_1033.lng"});
  // A configured folder is kept; only the missing base name is taken from the executable.
  MultiLanguage other(platform);
  other.SetFolder(kFolder);
  other.SetLanguageId(9);
  EXPECT_EQ(LocalisedText(other, 1, L"OK"), L"OK");
  EXPECT_EQ(platform.reads.back(), L"C:\\Tokens\\tessard.v3_0009.lng");
}

TEST_F(Store, ExecutablePathWithoutBackslashLoadsNothing) {
  platform.executablePath = L"tessard.exe";
  EXPECT_EQ(CurrentLanguageNumber(store), kLanguageIdNotSet);
  EXPECT_EQ(Text(1), L"English text");
  EXPECT_TRUE(platform.reads.empty());
  MultiLanguage noBase(platform);
  platform.executablePath = L"C:\\.exe";
  EXPECT_EQ(LocalisedText(noBase, 1, L"OK"), L"OK");
  EXPECT_TRUE(platform.reads.empty());
}

TEST_F(Store, TooLongNamesAreNotLookedFor) {
  store.SetFolder(std::wstring(250, L'a'));
  store.SetBaseName(L"long");
  store.SetLanguageId(1066);
  EXPECT_EQ(Text(1), L"English text");
  EXPECT_TRUE(platform.reads.empty());
  EXPECT_EQ(store.LanguageId(), 1033);
}

TEST_F(Store, SectionSelectionNeedsALoadedFile) {
  EXPECT_FALSE(store.SelectSection(L"settings"));
  EXPECT_EQ(LoadAndAsk(Vietnamese()), L"Xin chao");
  EXPECT_TRUE(store.SelectSection(L"settings"));
  EXPECT_EQ(store.GetString(L"Language", L"none"), L"Vietnamese");
  EXPECT_EQ(store.GetInt(L"CodePage", 5), 1066);
  EXPECT_EQ(store.GetInt(L"Missing", 5), 5);
  EXPECT_FALSE(store.SelectSection(L"absent"));
  EXPECT_EQ(store.GetString(L"Language", L"none"), L"Vietnamese");
}

}  // namespace
}  // namespace zeph
