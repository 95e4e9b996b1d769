#pragma once
// A language platform for tests: files held in memory, a chosen executable path and user
// language, and a count of the file reads so that tests can see when the store loads.

#include <map>
#include <string>
#include <vector>

#include "localisation/host_text_convert.h"
#include "localisation/multi_language.h"

namespace tessard::testing {

class FakeLanguagePlatform : public zeph::LanguagePlatform {
 public:
  std::optional<std::string> ReadFile(const std::wstring& path) override {
    reads.push_back(path);
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  }
  std::wstring ExecutablePath() override { return executablePath; }
  uint16_t UserDefaultLanguage() override { return userLanguage; }
  zeph::MultiByteToWide Converter() override { return HostToWide; }

  std::map<std::wstring, std::string> files;
  std::vector<std::wstring> reads;
  std::wstring executablePath = L"C:\\Program Files\\Tokens\\tessard.exe";
  uint16_t userLanguage = 1033;
};

// The bytes of an ASCII text with CR LF breaks.
inline std::string AnsiLines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) (text += line) += "\r\n";
  return text;
}

inline std::string Utf16LittleEndian(const std::u16string& text, bool byteOrderMark = true) {
  std::string bytes = byteOrderMark ? std::string("\xFF\xFE") : std::string();
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace tessard::testing
