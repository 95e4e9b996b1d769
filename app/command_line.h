#pragma once
// Splitting and checking of the program's command line. Free of <windows.h>.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessard {

// Splits at blanks (space, tab); a double quote at the start of a token quotes up to the
// next double quote. False only for an empty line.
bool SplitCommandLine(std::wstring_view line, std::vector<std::wstring>& tokens);

struct CommandLineOptions {
  bool install = false;    // -i
  bool uninstall = false;  // -u
  bool restart = false;    // -r: no effect of its own
  bool terminate = false;  // -t: end the running instance, start nothing
  bool silent = false;     // -s: no tray icon
};

// Checks tokens 2 to n (the first is the program path). Empty when a token is not one of
// the options exactly, or when -i comes with -u or -r with -t.
std::optional<CommandLineOptions> ParseCommandLineOptions(const std::vector<std::wstring>& tokens);

}  // namespace tessard
