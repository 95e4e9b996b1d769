// The information page's command line: the browser path and the address must each come
// back as one argument when the browser splits its command line the usual way.
#include "token/browser_command.h"

#include <gtest/gtest.h>

namespace tessard {
namespace {

TEST(QuoteArgument, EscapesBackslashesOnlyBeforeAQuote) {
  EXPECT_EQ(QuoteArgument(L""), L"\"\"");
  EXPECT_EQ(QuoteArgument(L"a b"), L"\"a b\"");
  EXPECT_EQ(QuoteArgument(L"C:\\a\\b"), L"\"C:\\a\\b\"");
  EXPECT_EQ(QuoteArgument(L"a\\"), L"\"a\\\\\"") << "a final backslash would escape the closing quote";
  EXPECT_EQ(QuoteArgument(L"a\"b"), L"\"a\\\"b\"");
  EXPECT_EQ(QuoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
}

TEST(BrowserCommandLine, QuotesAPathWithBlanksAndAlwaysTheAddress) {
  EXPECT_EQ(BrowserCommandLine(L"C:\\Program Files\\Browser\\b.exe", L"http://h.example/p?a=1&b=2 3"),
            L"\"C:\\Program Files\\Browser\\b.exe\" \"http://h.example/p?a=1&b=2 3\"");
  EXPECT_EQ(BrowserCommandLine(L"\"C:\\Program Files\\b.exe\"", L"u"), L"\"C:\\Program Files\\b.exe\" \"u\"")
      << "a path already quoted stays as it is";
  EXPECT_EQ(BrowserCommandLine(L"C:\\b.exe", L"u"), L"C:\\b.exe \"u\"");
  EXPECT_EQ(BrowserCommandLine(L"C:\\b\tc.exe", L""), L"\"C:\\b\tc.exe\" \"\"");
}

}  // namespace
}  // namespace tessard
