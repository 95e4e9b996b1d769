#pragma once
// The command line that opens the information page: the browser's path and the page
// address, each kept one argument however the browser splits its command line. Free of
// <windows.h>.

#include <string>

namespace tessard {

// `argument` in double quotes, with backslashes and quotes escaped the way the C runtime
// and CommandLineToArgvW read them back.
std::wstring QuoteArgument(const std::wstring& argument);

// The path as it stands when already quoted or free of blanks, quoted otherwise; then a
// space and the quoted address.
std::wstring BrowserCommandLine(const std::wstring& browserPath, const std::wstring& url);

}  // namespace tessard
