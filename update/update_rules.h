#pragma once
// The update agent's decisions over text: Config.ini's two values, the order of versions,
// which addresses it takes, and whether a downloaded installer may run. Free of <windows.h>,
// so that they are tested natively and fuzzed.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Dotted numbers ("3.0.10"); none when a part is empty or not a number, or too large.
std::optional<std::vector<std::uint32_t>> ParseVersion(std::string_view text);

// Versions in the order of their numbers, missing trailing parts counting as 0 (3.0.10
// after 3.0.9, 10 after 9). An offer that is no version is never newer; an installed version
// that is none, or empty, is older than any.
bool IsNewerVersion(std::string_view installed, std::string_view offered);

// Both are versions, equal by their numbers (3.0.10 and 3.0.10.0).
bool IsSameVersion(std::string_view a, std::string_view b);

// What is known of a downloaded installer once its signature was checked.
struct InstallerFacts {
  bool signatureAccepted = false;      // WinVerifyTrust's answer
  std::string signerKeyHash;           // SHA-256 of the signer's SubjectPublicKeyInfo, in hex
  bool rootInMachineStore = false;     // its chain ends in a root of the machine's own ROOT
  std::optional<std::string> version;  // the product version of its version resource
};

enum class InstallerVerdict { Trusted, SignatureRefused, KeyNotPinned, RootNotTheMachines, NotTheOfferedVersion };

// An installer runs only when all hold: a signature WinVerifyTrust accepts, by a key the
// program was built for (one of `pins`, so that a new key can be rolled in beside the old),
// chained to a root the machine itself trusts, and the version that was offered.
InstallerVerdict JudgeInstaller(const InstallerFacts& facts, std::span<const std::string_view> pins,
                                std::string_view offeredVersion);

// Only http and https pages are opened in the browser.
bool IsWebAddress(std::wstring_view address);

// An https address with more than the scheme.
bool IsHttpsAddress(std::wstring_view address);

// An update folder an administrator may set: an https address ending in "/".
bool IsUsableUpdateFolder(std::wstring_view address);

}  // namespace tessard
