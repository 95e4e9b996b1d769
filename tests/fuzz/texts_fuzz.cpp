// Feeds arbitrary patterns and arguments (from language files, say) to the text filler, and
// arbitrary notification texts to the balloon's line split: no crash, no conversion but "%s"
// and "%%", every line of a split within the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "balloon/balloon_layout.h"
#include "localisation/format_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
  const size_t split = text.find(L'\x1F');
  const std::wstring pattern = text.substr(0, split);
  const std::wstring argument = split == std::wstring::npos ? std::wstring() : text.substr(split + 1);
  const std::wstring filled = tessard::FormatText(pattern, {argument, argument});
  // Each "%s" gives at most an argument; nothing else grows the text.
  if (filled.size() > pattern.size() * (argument.size() + 1)) std::abort();
  size_t characters = 0;
  for (std::wstring_view line : tessard::BalloonLines(text)) characters += line.size() + 1;
  if (characters != text.size() + 1) std::abort();
  return 0;
}
