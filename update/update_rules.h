#pragma once
// The update agent's decisions over text: Config.ini's two values, the version comparison,
// and which addresses it takes. Free of <windows.h>, so that they are tested natively and
// fuzzed.

#include <optional>
#include <string>
#include <string_view>

namespace tessard {

inline constexpr int kDefaultWarnDays = 30;
inline constexpr size_t kConfigReadLimit = 1024;  // only this much of Config.ini is read

struct UpdateConfig {
  int warnDays = kDefaultWarnDays;
  // "ID02="'s value when it is not blank, as the server's 8-bit text.
  std::optional<std::string> pageAddress;
};

// Config.ini's "ID01=" (warning days: a positive number, else 30) and "ID02=" (the page).
// A value ends at the end of its line, CR LF or LF alone, or where a later key begins, and
// loses its leading and trailing spaces. Without "ID01=" or "ID02=" nothing but the 30 days
// is taken, and a blank "ID01=" takes no page either.
UpdateConfig ParseUpdateConfig(std::string_view text);

// The textual comparison the update server relies on: true when `installed` sorts strictly
// before `offered` byte by byte, a prefix sorting first (so 3.0.9 is not older than 3.0.10,
// and any offer is newer than an empty installed version).
bool IsNewerVersion(std::string_view installed, std::string_view offered);

// Only http and https pages are opened in the browser.
bool IsWebAddress(std::wstring_view address);

// An update folder an administrator may set: an https address ending in "/".
bool IsUsableUpdateFolder(std::wstring_view address);

}  // namespace tessard
