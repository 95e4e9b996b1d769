#include "app/command_line.h"

namespace tessard {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

size_t FindBlank(std::wstring_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsBlank(text[i])) return i;
  }
  return std::wstring_view::npos;
}

bool HasNonBlank(std::wstring_view text) {
  for (wchar_t c : text) {
    if (!IsBlank(c)) return true;
  }
  return false;
}

}  // namespace

bool SplitCommandLine(std::wstring_view line, std::vector<std::wstring>& tokens) {
  if (line.empty()) return false;
  std::wstring_view rest = line;
  bool inQuote = false;
  bool skipped = false;
  while (!rest.empty()) {
    if (!inQuote && !skipped) {
      while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
      skipped = true;
    } else if (!inQuote) {
      if (rest.front() == L'"') {
        rest.remove_prefix(1);
        inQuote = true;
      } else {
        const size_t end = FindBlank(rest);
        const std::wstring_view token = rest.substr(0, end);
        tokens.emplace_back(token);
        rest.remove_prefix(token.size());
        skipped = false;
      }
    } else {
      const size_t quote = rest.find(L'"');
      const std::wstring_view token = rest.substr(0, quote);
      rest.remove_prefix(quote == std::wstring_view::npos ? rest.size() : quote + 1);
      if (HasNonBlank(token)) tokens.emplace_back(token);
      inQuote = false;
      skipped = false;
    }
  }
  return true;
}

std::optional<CommandLineOptions> ParseCommandLineOptions(const std::vector<std::wstring>& tokens) {
  CommandLineOptions options;
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::wstring& token = tokens[i];
    if (token == L"-i") {
      options.install = true;
    } else if (token == L"-u") {
      options.uninstall = true;
    } else if (token == L"-r") {
      options.restart = true;
    } else if (token == L"-t") {
      options.terminate = true;
    } else if (token == L"-s") {
      options.silent = true;
    } else {
      return std::nullopt;
    }
  }
  if ((options.install && options.uninstall) || (options.restart && options.terminate)) return std::nullopt;
  return options;
}

}  // namespace tessard
