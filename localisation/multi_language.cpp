#include "localisation/multi_language.h"

#include <cstdio>

namespace zeph {

namespace {

constexpr size_t kMaxFolderAndBase = 254;
constexpr size_t kMaxPath = 259;  // characters, without the terminator
constexpr size_t kMaxValue = 3500;
constexpr size_t kCutValue = 3499;
constexpr wchar_t kDefaultFontFace[] = L"Tahoma";
constexpr int32_t kDefaultFontHeight = 8;

// At least four digits, zero-filled after the sign, as "%04d".
std::wstring FourDigitNumber(int32_t number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(number));
  return std::wstring(digits, digits + std::char_traits<char>::length(digits));
}

// Stores `value` and reports whether it differed.
template <typename T>
bool Replace(T& field, const T& value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace

std::optional<std::wstring> LanguageFileName(const std::wstring& folder, const std::wstring& baseName, int32_t number) {
  std::wstring name = folder;
  if (name.empty() || name.back() != L'\\') name += L'/';
  if (name.size() + baseName.size() > kMaxFolderAndBase) return std::nullopt;
  name += baseName;
  name += L'_';
  name += FourDigitNumber(number);
  name += L".lng";
  if (name.size() > kMaxPath) return std::nullopt;
  return name;
}

MultiLanguage::~MultiLanguage() {
  loadAttempted_ = true;
  useBuiltIn_ = true;
  loaded_ = false;
  currentSection_ = nullptr;
  languageFile_.Clear();
}

void MultiLanguage::SetFolder(const std::wstring& folder) {
  if (Replace(folder_, folder)) loadAttempted_ = loaded_ = false;
}

void MultiLanguage::SetBaseName(const std::wstring& baseName) {
  if (Replace(baseName_, baseName)) loadAttempted_ = loaded_ = false;
}

void MultiLanguage::SetLanguageId(int32_t languageId) {
  if (Replace(languageId_, languageId)) loadAttempted_ = loaded_ = false;
}

bool MultiLanguage::TakeDefaultsFromExecutable() {
  const std::wstring path = platform_.ExecutablePath();
  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return false;
  if (folder_.empty()) folder_ = path.substr(0, slash);
  if (baseName_.empty()) {
    const std::wstring file = path.substr(slash + 1);
    baseName_ = file.substr(0, file.rfind(L'.'));
  }
  return true;
}

bool MultiLanguage::EnsureLoaded() {
  currentSection_ = nullptr;
  useBuiltIn_ = true;
  loadAttempted_ = true;
  if ((folder_.empty() || baseName_.empty()) && !TakeDefaultsFromExecutable()) return false;
  if (folder_.empty() || baseName_.empty()) return false;
  // Going through the setter puts the store back to pending, so that a failed load for the
  // user's language is followed by one more for English at the next request.
  if (languageId_ == kLanguageIdNotSet) SetLanguageId(platform_.UserDefaultLanguage());
  return LoadLanguage(baseName_, languageId_);
}

void MultiLanguage::ResetToBuiltIn() {
  loaded_ = false;
  currentSection_ = nullptr;
  languageId_ = kEnglishLanguageId;
  languageName_ = L"English";
  useBuiltIn_ = true;
}

bool MultiLanguage::LoadLanguage(const std::wstring& baseName, int32_t number) {
  ResetToBuiltIn();
  if (folder_.empty()) return false;
  const std::optional<std::wstring> name = LanguageFileName(folder_, baseName, number);
  return name && LoadFile(*name);
}

bool MultiLanguage::LoadFile(const std::wstring& path) {
  ResetToBuiltIn();
  const std::optional<std::string> bytes = platform_.ReadFile(path);
  if (!bytes) return false;
  if (!languageFile_.Load(*bytes, platform_.Converter())) {
    platform_.Refused(path, L"its text does not decode or parse");
    return false;
  }
  if (!ApplySettings()) {
    ResetToBuiltIn();
    platform_.Refused(path, L"it lacks a settings or a strings section, or the code page or language name");
    return false;
  }
  useBuiltIn_ = false;
  loaded_ = true;
  return true;
}

bool MultiLanguage::ApplySettings() {
  // The lookups below consult the file only while it counts as loaded.
  loaded_ = true;
  if (!ReadSettings()) loaded_ = false;
  return loaded_;
}

bool MultiLanguage::ReadSettings() {
  if (!SelectSection(L"settings")) return false;
  languageId_ = GetInt(L"CodePage", -1);
  if (languageId_ == -1) return false;
  languageName_ = GetString(L"Language", kNotFoundMarker);
  if (languageName_ == kNotFoundMarker) return false;
  fontFace_ = GetString(L"FontFace", kNotFoundMarker);
  if (fontFace_ == kNotFoundMarker) fontFace_ = kDefaultFontFace;
  fontHeight_ = GetInt(L"FontHeight", -1);
  if (fontHeight_ == -1) fontHeight_ = kDefaultFontHeight;
  return SelectSection(L"strings");
}

bool MultiLanguage::SelectSection(const std::wstring& name) {
  if (!loaded_) return false;
  LanguageSection* section = languageFile_.FindSection(name);
  if (section == nullptr) return false;
  currentSection_ = section;
  return true;
}

std::wstring MultiLanguage::GetString(const std::wstring& key, const std::wstring& fallback) const {
  if (!loaded_ || currentSection_ == nullptr) return fallback;
  std::wstring value = currentSection_->Lookup(key);
  if (value == kNotFoundMarker) return fallback;
  if (value.size() > kMaxValue) value.resize(kCutValue);
  return value;
}

std::wstring MultiLanguage::GetString(int32_t id, const std::wstring& fallback) const {
  if (!loaded_) return fallback;
  return GetString(std::to_wstring(id), fallback);
}

int32_t MultiLanguage::GetInt(const std::wstring& key, int32_t fallback) const {
  if (!loaded_) return fallback;
  const std::wstring text = GetString(key, kNotFoundMarker);
  if (text == kNotFoundMarker) return fallback;
  return ReadLeadingInteger(text);
}

void EnsureLoadTried(MultiLanguage& store) {
  if (!store.Loaded() && !store.LoadAttempted()) store.EnsureLoaded();
}

std::wstring LocalisedText(MultiLanguage& store, int32_t id, const std::wstring& english) {
  EnsureLoadTried(store);
  if (store.UseBuiltIn()) return english;
  return store.GetString(id, english);
}

int32_t CurrentLanguageNumber(MultiLanguage& store) {
  EnsureLoadTried(store);
  return store.LanguageId();
}

}  // namespace zeph
