#pragma once
// The parsed form of one language file: named sections of key/value texts. Decoding and
// parsing are free of the platform; the conversion from a code page is handed in, so the
// same code runs under Windows (the system's converter) and natively (a host stand-in).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zeph {

// Stands for an absent key inside the store; a file value equal to it counts as absent.
inline constexpr wchar_t kNotFoundMarker[] = L"DEFAULT_F94174A7C1D94A0E9D57739193CF18CC";

// Converts the whole of `bytes` from the code page (0: the ANSI code page, 65001: UTF-8)
// to UTF-16, up to the first zero unit; an empty text when nothing converts.
using MultiByteToWide = std::wstring (*)(std::string_view bytes, unsigned codePage);

class LanguageSection {
 public:
  explicit LanguageSection(std::wstring name) : name_(std::move(name)) {}

  const std::wstring& Name() const { return name_; }
  // False, leaving the stored value as it is, when the key is already held.
  bool Insert(const std::wstring& key, const std::wstring& value);
  // The value, or kNotFoundMarker.
  std::wstring Lookup(const std::wstring& key) const;

 private:
  std::wstring name_;
  std::map<std::wstring, std::wstring> values_;
};

enum class TextEncoding { Utf16LittleEndian, Utf16BigEndian, Utf8, Ansi };

class LanguageFile {
 public:
  enum class LineKind { Comment, Section, Entry, Other };
  struct Line {
    LineKind kind = LineKind::Other;
    std::wstring name;   // section name, or the entry's key
    std::wstring value;  // the entry's value after escape processing
  };

  // Decodes the file's bytes and parses them; false for big-endian UTF-16, an empty text
  // or a parse error.
  bool Load(std::string_view bytes, MultiByteToWide convert);
  // False at the first error; the sections read up to it are kept.
  bool Parse(std::wstring_view text);
  static Line ParseLine(std::wstring_view line);
  static TextEncoding DetectEncoding(std::string_view bytes);
  // The text of the file; none for big-endian UTF-16.
  static std::optional<std::wstring> Decode(std::string_view bytes, MultiByteToWide convert);

  LanguageSection* FindSection(const std::wstring& name);
  // Finds or creates the section; none for an empty name.
  LanguageSection* OpenSection(const std::wstring& name);
  void Clear() { sections_.clear(); }

 private:
  std::map<std::wstring, LanguageSection> sections_;
};

// Cuts the next line from the front of `rest`, without its break. A CR LF anywhere in the
// rest ends the line before a lone LF does, so mixed breaks leave LFs inside lines.
std::wstring_view CutLine(std::wstring_view& rest);

// The ten escape steps of a value, in their order.
std::wstring UnescapeValue(std::wstring value);

// Integer reading as the C runtime's _wtol: leading blanks, optional sign, digits; 0 for a
// text without digits. Out-of-range numbers saturate instead of overflowing.
int32_t ReadLeadingInteger(std::wstring_view text);

}  // namespace zeph
