#pragma once
// The tray menu's four items, in their order, and which of them the settings read at
// start-up, and the user's rights, disable. Free of <windows.h>.

#include <array>

#include "localisation/string_ids.h"

namespace tessard {

enum TrayCommand : unsigned {
  CommandEnglish = 30001,
  CommandVietnamese = 30002,
  CommandCache = 30003,
  CommandNonCache = 30004,
};

inline constexpr int kLanguageEnglish = 1033;
inline constexpr int kLanguageVietnamese = 1066;

struct TrayMenuItem {
  TrayCommand command;
  TextId text;
  bool disabled;
};

// Any language other than Vietnamese counts as English: the menu offers only the two. The
// cache option is the machine's: a user who may not write the machine's settings sees both
// of its items unavailable.
constexpr std::array<TrayMenuItem, 4> TrayMenuItems(int languageId, bool nonCache, bool cacheWritable = true) {
  return {{{CommandEnglish, text::kEnglish, languageId != kLanguageVietnamese},
           {CommandVietnamese, text::kVietnamese, languageId == kLanguageVietnamese},
           {CommandNonCache, text::kNonCache, nonCache || !cacheWritable},
           {CommandCache, text::kCache, !nonCache || !cacheWritable}}};
}

}  // namespace tessard
