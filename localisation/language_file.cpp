#include "localisation/language_file.h"

#include <algorithm>
#include <cwctype>
#include <limits>

namespace zeph {

namespace {

constexpr std::wstring_view kBlanks = L" \t\r";
constexpr unsigned kCodePageAnsi = 0;
constexpr unsigned kCodePageUtf8 = 65001;

std::wstring_view TrimLeft(std::wstring_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  return first == std::wstring_view::npos ? text : text.substr(first);
}

// A text made only of blanks stays as it is.
std::wstring_view Trim(std::wstring_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::wstring_view::npos) return text;
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Replacing the first match and searching again from the start gives the same result as
// one left-to-right pass whenever the replacement cannot start a new match, which holds for
// every step but the last.
void ReplaceAll(std::wstring& text, std::wstring_view pattern, std::wstring_view replacement) {
  std::wstring result;
  result.reserve(text.size());
  size_t from = 0;
  for (size_t at = text.find(pattern); at != std::wstring::npos; at = text.find(pattern, from)) {
    result.append(text, from, at - from);
    result += replacement;
    from = at + pattern.size();
  }
  result.append(text, from, std::wstring::npos);
  text = std::move(result);
}

// Replacing a doubled backslash by one, again and again from the start, shortens every run
// of backslashes to a single one.
void CollapseBackslashRuns(std::wstring& text) {
  std::wstring result;
  result.reserve(text.size());
  for (const wchar_t c : text) {
    if (c == L'\\' && !result.empty() && result.back() == L'\\') continue;
    result += c;
  }
  text = std::move(result);
}

std::string_view UpToFirstZero(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

// Code units from byte 2 on, up to the first zero unit. A final odd byte pairs with a zero
// high byte, as it would in a buffer read with zero padding.
std::wstring DecodeUtf16LittleEndian(std::string_view bytes) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 2; i < bytes.size(); i += 2) {
    const unsigned low = static_cast<unsigned char>(bytes[i]);
    const unsigned high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
    const auto unit = static_cast<wchar_t>(low | high << 8);
    if (unit == L'\0') break;
    text += unit;
  }
  return text;
}

}  // namespace

bool LanguageSection::Insert(const std::wstring& key, const std::wstring& value) {
  return values_.emplace(key, value).second;
}

std::wstring LanguageSection::Lookup(const std::wstring& key) const {
  const auto found = values_.find(key);
  return found == values_.end() ? std::wstring(kNotFoundMarker) : found->second;
}

TextEncoding LanguageFile::DetectEncoding(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) return TextEncoding::Utf16LittleEndian;
  if (bytes.starts_with("\xFE\xFF")) return TextEncoding::Utf16BigEndian;
  if (bytes.starts_with("\xEF\xBB\xBF")) return TextEncoding::Utf8;
  return TextEncoding::Ansi;
}

std::optional<std::wstring> LanguageFile::Decode(std::string_view bytes, MultiByteToWide convert) {
  switch (DetectEncoding(bytes)) {
    case TextEncoding::Utf16LittleEndian:
      return DecodeUtf16LittleEndian(bytes);
    case TextEncoding::Utf16BigEndian:
      return std::nullopt;
    case TextEncoding::Utf8:
      return convert(UpToFirstZero(bytes.substr(3)), kCodePageUtf8);
    case TextEncoding::Ansi:
      break;
  }
  return convert(UpToFirstZero(bytes), kCodePageAnsi);
}

bool LanguageFile::Load(std::string_view bytes, MultiByteToWide convert) {
  const std::optional<std::wstring> text = Decode(bytes, convert);
  if (!text || text->empty()) return false;
  return Parse(*text);
}

bool LanguageFile::Parse(std::wstring_view text) {
  Clear();
  LanguageSection* current = nullptr;
  while (!text.empty()) {
    const std::wstring_view line = CutLine(text);
    if (line.empty()) continue;
    const Line parsed = ParseLine(line);
    if (parsed.kind == LineKind::Section) {
      current = OpenSection(parsed.name);
      if (current == nullptr) return false;
    } else if (parsed.kind == LineKind::Entry) {
      if (current == nullptr || !current->Insert(parsed.name, parsed.value)) return false;
    }
  }
  return true;
}

LanguageFile::Line LanguageFile::ParseLine(std::wstring_view line) {
  line = TrimLeft(line);
  Line result;
  if (line.empty()) return result;
  if (line.front() == L';' || line.front() == L'#') {
    result.kind = LineKind::Comment;
  } else if (line.front() == L'[') {
    const std::wstring_view name = line.substr(1);
    result.kind = LineKind::Section;
    result.name = std::wstring(name.substr(0, name.rfind(L']')));
  } else if (const size_t equals = line.find(L'='); equals != std::wstring_view::npos) {
    result.kind = LineKind::Entry;
    result.name = std::wstring(Trim(line.substr(0, equals)));
    result.value = UnescapeValue(std::wstring(line.substr(equals + 1)));
  }
  return result;
}

LanguageSection* LanguageFile::FindSection(const std::wstring& name) {
  const auto found = sections_.find(name);
  return found == sections_.end() ? nullptr : &found->second;
}

LanguageSection* LanguageFile::OpenSection(const std::wstring& name) {
  if (name.empty()) return nullptr;
  return &sections_.try_emplace(name, name).first->second;
}

std::wstring_view CutLine(std::wstring_view& rest) {
  size_t end = rest.find(L"\r\n");
  size_t breakLength = 2;
  if (end == std::wstring_view::npos) {
    end = rest.find(L'\n');
    breakLength = 1;
  }
  if (end == std::wstring_view::npos) {
    const std::wstring_view line = rest;
    rest = {};
    return line;
  }
  const std::wstring_view line = rest.substr(0, end);
  rest.remove_prefix(end + breakLength);
  return line;
}

std::wstring UnescapeValue(std::wstring value) {
  constexpr wchar_t kPlaceholder[] = L"\x0001";
  ReplaceAll(value, L"\\\\r", kPlaceholder);
  ReplaceAll(value, L"\\r", L"\r");
  ReplaceAll(value, kPlaceholder, L"\\\\r");
  ReplaceAll(value, L"\\\\n", kPlaceholder);
  ReplaceAll(value, L"\\n", L"\n");
  ReplaceAll(value, kPlaceholder, L"\\\\n");
  ReplaceAll(value, L"\\\\t", kPlaceholder);
  ReplaceAll(value, L"\\t", L"\t");
  ReplaceAll(value, kPlaceholder, L"\\\\t");
  CollapseBackslashRuns(value);
  return value;
}

int32_t ReadLeadingInteger(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    magnitude = std::min(kLimit, magnitude * 10 + (text[i] - L'0'));
  }
  if (negative) return static_cast<int32_t>(-magnitude);
  return static_cast<int32_t>(std::min<int64_t>(magnitude, kLimit - 1));
}

}  // namespace zeph
