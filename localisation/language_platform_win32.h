#pragma once
// The system's services for the language store: files, the executable's path, the user's
// language and the code-page conversion.

#include "localisation/multi_language.h"

namespace tessard {

class Win32LanguagePlatform : public zeph::LanguagePlatform {
 public:
  std::optional<std::string> ReadFile(const std::wstring& path) override;
  std::wstring ExecutablePath() override;
  uint16_t UserDefaultLanguage() override;
  zeph::MultiByteToWide Converter() override;
  void Refused(const std::wstring& path, const wchar_t* why) override;
};

}  // namespace tessard
