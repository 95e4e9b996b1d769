#include "localisation/format_text.h"

namespace tessard {

std::wstring FormatText(std::wstring_view pattern, std::initializer_list<std::wstring_view> arguments) {
  std::wstring result;
  result.reserve(pattern.size());
  auto next = arguments.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == L'%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == L'%') {
        result += L'%';
        ++i;
        continue;
      }
      if (pattern[i + 1] == L's') {
        if (next != arguments.end()) result += *next++;
        ++i;
        continue;
      }
    }
    result += pattern[i];
  }
  return result;
}

}  // namespace tessard
