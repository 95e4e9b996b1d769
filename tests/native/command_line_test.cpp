#include "app/command_line.h"

#include <gtest/gtest.h>

namespace tessard {
namespace {

std::vector<std::wstring> Split(std::wstring_view line) {
  std::vector<std::wstring> tokens;
  EXPECT_TRUE(SplitCommandLine(line, tokens));
  return tokens;
}

using Tokens = std::vector<std::wstring>;

TEST(SplitCommandLine, QuotedPairStaysOneTokenWithItsBlank) {
  EXPECT_EQ(Split(L"a \"b c\" d"), (Tokens{L"a", L"b c", L"d"}));
}

TEST(SplitCommandLine, TextRightAfterClosingQuoteStartsNewToken) {
  EXPECT_EQ(Split(L"\"b c\"d"), (Tokens{L"b c", L"d"}));
}

TEST(SplitCommandLine, QuoteInsideWordIsOrdinary) {
  EXPECT_EQ(Split(L"x\"y z\""), (Tokens{L"x\"y", L"z\""}));
}

TEST(SplitCommandLine, EmptyAndBlankQuotedTokensAreDropped) {
  EXPECT_EQ(Split(L"a \"\" b \" \t \""), (Tokens{L"a", L"b"}));
}

TEST(SplitCommandLine, UnclosedQuoteRunsToEndOfLine) {
  EXPECT_EQ(Split(L"prog \"C:\\Program Files\\x -t"), (Tokens{L"prog", L"C:\\Program Files\\x -t"}));
}

TEST(SplitCommandLine, BlanksAndTabsSeparateAndTrail) {
  EXPECT_EQ(Split(L" \tprog\t -s  "), (Tokens{L"prog", L"-s"}));
}

TEST(SplitCommandLine, EmptyLineIsRefused) {
  std::vector<std::wstring> tokens;
  EXPECT_FALSE(SplitCommandLine(L"", tokens));
  EXPECT_TRUE(tokens.empty());
}

std::optional<CommandLineOptions> Parse(Tokens arguments) {
  arguments.insert(arguments.begin(), L"tessard.exe");
  return ParseCommandLineOptions(arguments);
}

TEST(CommandLineOptions, EachOptionSetsItsFlag) {
  const auto options = Parse({L"-i", L"-s", L"-s", L"-r"});
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->install);
  EXPECT_TRUE(options->silent);
  EXPECT_TRUE(options->restart);
  EXPECT_FALSE(options->uninstall);
  EXPECT_FALSE(options->terminate);
  const auto terminate = Parse({L"-t", L"-s"});
  ASSERT_TRUE(terminate);
  EXPECT_TRUE(terminate->terminate);
}

TEST(CommandLineOptions, UnknownTokensAndOtherCaseAreInvalid) {
  EXPECT_FALSE(Parse({L"-x"}));
  EXPECT_FALSE(Parse({L"-I"}));
  EXPECT_FALSE(Parse({L"-s", L"-T"}));
  EXPECT_FALSE(Parse({L"-ts"}));
  EXPECT_FALSE(Parse({L"-"}));
  EXPECT_FALSE(Parse({L"s"}));
}

TEST(CommandLineOptions, ConflictingPairsAreInvalid) {
  EXPECT_FALSE(Parse({L"-i", L"-u"}));
  EXPECT_FALSE(Parse({L"-t", L"-s", L"-r"}));
  EXPECT_TRUE(Parse({L"-i", L"-t"}));
  EXPECT_TRUE(Parse({L"-u", L"-r"}));
}

TEST(CommandLineOptions, ProgramPathAloneIsAPlainStart) {
  const auto options = ParseCommandLineOptions({L"C:\\x\\-x.exe"});
  ASSERT_TRUE(options);
  EXPECT_FALSE(options->terminate);
}

}  // namespace
}  // namespace tessard
