#pragma once
// Every text the program shows is fetched here by numeric id, with its English text as the
// fallback.

#include <windows.h>

#include <optional>
#include <string>

#include "localisation/string_ids.h"

namespace tessard {

std::wstring LangGetString(int id, const std::wstring& english);
std::wstring LangGetString(const TextId& text);
void LangLocaliseWindow(HWND window, int id);
int LangGetCodePage();
void LangSetFolder(const std::wstring& folder);
void LangSetBaseName(const std::wstring& baseName);
void LangSetId(int languageId);

// What the product's settings key says about the language files; the caller reads it.
struct LanguageSettings {
  bool keyFound = false;
  // "Path" when it held data: the installation folder, which holds the "lang" folder.
  std::optional<std::wstring> installFolder;
  std::optional<std::wstring> installLanguageId;
};

// Chooses folder, language number and base name from the product's settings; loads nothing.
void LangInitialise(const LanguageSettings& settings, const wchar_t* baseName);

}  // namespace tessard
