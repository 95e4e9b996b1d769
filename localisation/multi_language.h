#pragma once
// The process's language store: one language file, loaded lazily for the configured
// folder, base name and language number, answering text requests with the caller's
// default when no file is in force.

#include <cstdint>
#include <optional>
#include <string>

#include "localisation/language_file.h"

namespace zeph {

// What the store needs from the system; the Windows program passes the real services,
// tests pass their own.
class LanguagePlatform {
 public:
  virtual ~LanguagePlatform() = default;
  // The whole file; none when it cannot be opened or read.
  virtual std::optional<std::string> ReadFile(const std::wstring& path) = 0;
  virtual std::wstring ExecutablePath() = 0;
  virtual uint16_t UserDefaultLanguage() = 0;
  virtual MultiByteToWide Converter() = 0;
  // A file that was read but is no language file; the program goes on in English.
  virtual void Refused(const std::wstring& /*path*/, const wchar_t* /*why*/) {}
};

inline constexpr int32_t kLanguageIdNotSet = 0x1FFFFFFF;
inline constexpr int32_t kEnglishLanguageId = 1033;

// "%s%s_%04d.lng" with the folder's separator rule; none when the name is too long.
std::optional<std::wstring> LanguageFileName(const std::wstring& folder, const std::wstring& baseName, int32_t number);

class MultiLanguage {
 public:
  // The process's single instance, made at the first call (defined by the platform layer).
  static MultiLanguage& Instance();

  explicit MultiLanguage(LanguagePlatform& platform) : platform_(platform) {}
  virtual ~MultiLanguage();
  MultiLanguage(const MultiLanguage&) = delete;
  MultiLanguage& operator=(const MultiLanguage&) = delete;

  // Each setter makes the next request load again, but only when the value changes.
  void SetFolder(const std::wstring& folder);
  void SetBaseName(const std::wstring& baseName);
  void SetLanguageId(int32_t languageId);

  bool EnsureLoaded();
  bool LoadLanguage(const std::wstring& baseName, int32_t number);
  bool LoadFile(const std::wstring& path);
  bool ApplySettings();
  bool SelectSection(const std::wstring& name);

  std::wstring GetString(const std::wstring& key, const std::wstring& fallback) const;
  std::wstring GetString(int32_t id, const std::wstring& fallback) const;
  int32_t GetInt(const std::wstring& key, int32_t fallback) const;

  bool UseBuiltIn() const { return useBuiltIn_; }
  bool LoadAttempted() const { return loadAttempted_; }
  bool Loaded() const { return loaded_; }
  const std::wstring& Folder() const { return folder_; }
  const std::wstring& BaseName() const { return baseName_; }
  int32_t LanguageId() const { return languageId_; }
  const std::wstring& LanguageName() const { return languageName_; }
  int32_t FontHeight() const { return fontHeight_; }
  const std::wstring& FontFace() const { return fontFace_; }

 private:
  void ResetToBuiltIn();
  bool TakeDefaultsFromExecutable();
  bool ReadSettings();

  LanguagePlatform& platform_;
  LanguageFile languageFile_;
  LanguageSection* currentSection_ = nullptr;
  bool useBuiltIn_ = true;
  bool loadAttempted_ = false;
  bool loaded_ = false;
  std::wstring folder_;
  std::wstring baseName_;
  int32_t languageId_ = kLanguageIdNotSet;
  std::wstring languageName_ = L"English";
  int32_t fontHeight_ = 8;
  std::wstring fontFace_ = L"Tahoma";
};

// The first step of every text request: load once per configuration.
void EnsureLoadTried(MultiLanguage& store);
// The text for a string id: the file's, or `english` when none is in force or it lacks the id.
std::wstring LocalisedText(MultiLanguage& store, int32_t id, const std::wstring& english);
int32_t CurrentLanguageNumber(MultiLanguage& store);

}  // namespace zeph
