#include "platform/text_convert.h"

#include <windows.h>

#include <climits>

namespace tessard {

std::wstring ToWide(std::string_view text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring result(static_cast<size_t>(needed) + 1, L'\0');
  if (::MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), needed) <= 0) return {};
  result.resize(result.find(L'\0'));
  return result;
}

std::wstring ToWide(std::wstring_view text, unsigned) { return std::wstring(text); }

std::string ToNarrow(const std::wstring& text, unsigned codePage) {
  const int needed = ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string result(static_cast<size_t>(needed) + 1, '\0');
  if (::WideCharToMultiByte(codePage, 0, text.c_str(), -1, result.data(), needed, nullptr, nullptr) <= 0) {
    return {};
  }
  result.resize(result.find('\0'));
  return result;
}

}  // namespace tessard
