#include "localisation/lang.h"

// Until language files are read, every text is its English form.

namespace tessard {

std::wstring LangGetString(int, const std::wstring& english) { return english; }
void LangLocaliseWindow(HWND, int) {}
int LangGetCodePage() { return 1033; }
void LangSetFolder(const std::wstring&) {}
void LangSetBaseName(const std::wstring&) {}
void LangSetId(int) {}
void LangInitialise(const wchar_t*, const wchar_t*) {}

}  // namespace tessard
