#pragma once
// Fills a localised pattern. Patterns come from language files, so they are never handed to
// printf: only "%s" (taken in order from the arguments, empty when they run out) and "%%"
// are conversions; anything else after a percent sign stays as it is written.

#include <initializer_list>
#include <string>
#include <string_view>

namespace tessard {

std::wstring FormatText(std::wstring_view pattern, std::initializer_list<std::wstring_view> arguments = {});

}  // namespace tessard
