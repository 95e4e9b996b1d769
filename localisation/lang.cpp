#include "localisation/lang.h"

#include <array>

#include "localisation/language_platform_win32.h"
#include "platform/handles.h"
#include "platform/text_convert.h"
#include "platform/trace.h"

namespace tessard {

namespace {

// Larger files are refused rather than held in memory.
constexpr DWORD kMaxLanguageFileSize = 64 * 1024 * 1024;
constexpr int kTextBuffer = 260;

// ToWide is overloaded; the store takes a plain function of the byte form.
std::wstring SystemToWide(std::string_view bytes, unsigned codePage) { return ToWide(bytes, codePage); }

std::wstring WindowText(HWND window) {
  std::array<wchar_t, kTextBuffer> text{};
  ::GetWindowTextW(window, text.data(), kTextBuffer);
  return text.data();
}

bool IsLocalisedClass(HWND window) {
  std::array<wchar_t, kTextBuffer> name{};
  ::GetClassNameW(window, name.data(), kTextBuffer);
  for (const wchar_t* localised : {L"button", L"static"}) {
    if (::lstrcmpiW(name.data(), localised) == 0) return true;
  }
  return false;
}

void LocaliseText(HWND window, int id) { ::SetWindowTextW(window, LangGetString(id, WindowText(window)).c_str()); }

uint16_t UserLanguage() { return static_cast<uint16_t>(::GetUserDefaultLangID()); }

}  // namespace

std::optional<std::string> Win32LanguagePlatform::ReadFile(const std::wstring& path) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxLanguageFileSize) return std::nullopt;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty()) ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}

std::wstring Win32LanguagePlatform::ExecutablePath() {
  std::array<wchar_t, kTextBuffer> path{};
  ::GetModuleFileNameW(nullptr, path.data(), kTextBuffer);
  return path.data();
}

uint16_t Win32LanguagePlatform::UserDefaultLanguage() { return UserLanguage(); }

zeph::MultiByteToWide Win32LanguagePlatform::Converter() { return SystemToWide; }

void Win32LanguagePlatform::Refused(const std::wstring& path, const wchar_t* why) {
  Trace(L"the language file " + path + L" is refused: " + why);
}

}  // namespace tessard

namespace zeph {

MultiLanguage& MultiLanguage::Instance() {
  static tessard::Win32LanguagePlatform platform;
  static MultiLanguage instance(platform);
  return instance;
}

}  // namespace zeph

namespace tessard {

std::wstring LangGetString(int id, const std::wstring& english) {
  return zeph::LocalisedText(zeph::MultiLanguage::Instance(), id, english);
}

std::wstring LangGetString(const TextId& text) { return LangGetString(text.id, text.english); }

void LangLocaliseWindow(HWND window, int id) {
  if (window == nullptr || !::IsWindow(window)) return;
  zeph::EnsureLoadTried(zeph::MultiLanguage::Instance());
  LocaliseText(window, id);
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const int childId = ::GetDlgCtrlID(child);
    if (childId != 0 && IsLocalisedClass(child)) LocaliseText(child, childId);
  }
}

int LangGetCodePage() { return zeph::CurrentLanguageNumber(zeph::MultiLanguage::Instance()); }

void LangSetFolder(const std::wstring& folder) { zeph::MultiLanguage::Instance().SetFolder(folder); }

void LangSetBaseName(const std::wstring& baseName) { zeph::MultiLanguage::Instance().SetBaseName(baseName); }

void LangSetId(int languageId) { zeph::MultiLanguage::Instance().SetLanguageId(languageId); }

void LangInitialise(const LanguageSettings& settings, const wchar_t* baseName) {
  int number = UserLanguage();
  if (settings.keyFound) {
    // Without a usable folder the store keeps its own defaults entirely.
    if (!settings.installFolder) return;
    std::wstring folder = *settings.installFolder;
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    LangSetFolder(folder);
    if (settings.installLanguageId) {
      const int chosen = zeph::ReadLeadingInteger(*settings.installLanguageId);
      if (chosen != 0) number = chosen;
    }
  }
  LangSetId(number);
  if (baseName != nullptr && *baseName != L'\0') LangSetBaseName(baseName);
}

}  // namespace tessard
