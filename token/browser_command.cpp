#include "token/browser_command.h"

namespace tessard {

std::wstring QuoteArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only in front of a quote.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring BrowserCommandLine(const std::wstring& browserPath, const std::wstring& url) {
  bool alreadyQuoted = !browserPath.empty() && browserPath.front() == L'"';
  bool needsQuotes = !alreadyQuoted && browserPath.find_first_of(L" \t") != std::wstring::npos;
  std::wstring path = needsQuotes ? L"\"" + browserPath + L"\"" : browserPath;
  return path + L" " + QuoteArgument(url);
}

}  // namespace tessard
