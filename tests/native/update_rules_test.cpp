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

TEST(VersionOrder, DottedNumbersWithMissingPartsAsZero) {
  EXPECT_TRUE(IsNewerVersion("3.0.9", "3.0.10"));
  EXPECT_TRUE(IsNewerVersion("9", "10"));
  EXPECT_FALSE(IsNewerVersion("10.0.0", "9.0.0"));
  EXPECT_FALSE(IsNewerVersion("3.0.10", "3.0.10.0"));
  EXPECT_TRUE(IsSameVersion("3.0.10", "3.0.10.0"));
  EXPECT_FALSE(IsSameVersion("3.0.1", "3.0.10"));
  for (const char* offer : {"3.1b", "", "3..1", ".3", "3.", "-1", "3.1 ", "99999999999"}) {
    EXPECT_FALSE(IsNewerVersion("1", offer)) << "an offer that is no version: " << offer;
  }
  for (const char* installed : {"", "3.x"}) EXPECT_TRUE(IsNewerVersion(installed, "0.1")) << installed;
}

TEST(InstallerVerdicts, EachConditionRefusesOnItsOwn) {
  constexpr std::string_view kPins[] = {"00ff", "AB12"};
  const InstallerFacts trusted{true, "ab12", true, "3.0.10.0"};
  EXPECT_EQ(JudgeInstaller(trusted, kPins, "3.0.10"), InstallerVerdict::Trusted) << "the second pin, in any case";
  InstallerFacts facts = trusted;
  facts.signatureAccepted = false;
  EXPECT_EQ(JudgeInstaller(facts, kPins, "3.0.10"), InstallerVerdict::SignatureRefused);
  for (const char* key : {"ab13", "", "ab12ab12"}) {
    facts = trusted;
    facts.signerKeyHash = key;
    EXPECT_EQ(JudgeInstaller(facts, kPins, "3.0.10"), InstallerVerdict::KeyNotPinned) << key;
  }
  facts = trusted;
  facts.rootInMachineStore = false;
  EXPECT_EQ(JudgeInstaller(facts, kPins, "3.0.10"), InstallerVerdict::RootNotTheMachines);
  EXPECT_EQ(JudgeInstaller(trusted, kPins, "99.0.1"), InstallerVerdict::NotTheOfferedVersion);
  facts = trusted;
  facts.version.reset();
  EXPECT_EQ(JudgeInstaller(facts, kPins, "3.0.10"), InstallerVerdict::NotTheOfferedVersion);
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
