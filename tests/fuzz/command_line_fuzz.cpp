// Feeds arbitrary command lines (the bytes as UTF-16) to the splitter and the option check:
// neither may crash, no token may be empty or a quote-delimited blank, and options come only
// from exact tokens.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring line(size / sizeof(wchar_t), L'\0');
  if (!line.empty()) std::memcpy(line.data(), data, line.size() * sizeof(wchar_t));
  std::vector<std::wstring> tokens;
  if (!tessard::SplitCommandLine(line, tokens)) {
    if (!line.empty()) std::abort();
    return 0;
  }
  size_t characters = 0;
  for (const std::wstring& token : tokens) {
    if (token.empty()) std::abort();
    characters += token.size();
  }
  if (characters > line.size()) std::abort();
  if (const auto options = tessard::ParseCommandLineOptions(tokens)) {
    if ((options->install && options->uninstall) || (options->restart && options->terminate)) std::abort();
    for (size_t i = 1; i < tokens.size(); ++i) {
      if (tokens[i].size() != 2 || tokens[i][0] != L'-') std::abort();
    }
  }
  return 0;
}
