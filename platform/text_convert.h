#pragma once
// Conversions between 8-bit text in a code page and UTF-16, at the program's edges
// (token module, registry, update server, language files).

#include <string>
#include <string_view>

namespace tessard {

inline constexpr unsigned kCodePageAnsi = 0;      // CP_ACP
inline constexpr unsigned kCodePageUtf8 = 65001;  // CP_UTF8

// Converts the whole of `text` (embedded zero bytes included) and returns the result up
// to its first zero unit; an empty string when the system refuses the conversion.
std::wstring ToWide(std::string_view text, unsigned codePage);

// The UTF-16 form of ToWide: a copy, so code written for either string type compiles.
std::wstring ToWide(std::wstring_view text, unsigned codePage);

// Converts `text` up to its terminator; no default character is given, so characters the
// code page lacks come out as whatever the system substitutes.
std::string ToNarrow(const std::wstring& text, unsigned codePage);

}  // namespace tessard
