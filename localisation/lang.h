#pragma once
// Every text the program shows is fetched here by numeric id, with its English text as the
// fallback.

#include <windows.h>

#include <string>

namespace tessard {

std::wstring LangGetString(int id, const std::wstring& english);
void LangLocaliseWindow(HWND window, int id);
int LangGetCodePage();
void LangSetFolder(const std::wstring& folder);
void LangSetBaseName(const std::wstring& baseName);
void LangSetId(int languageId);

// Chooses folder, language number and base name from the product's registry key.
void LangInitialise(const wchar_t* keyPath, const wchar_t* baseName);

}  // namespace tessard
