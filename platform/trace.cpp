#include "platform/trace.h"

#include <cwchar>

#include "platform/system_calls.h"

namespace tessard {

void Trace(std::wstring_view what) {
  std::wstring line = L"Tessard: ";
  line.append(what);
  line += L"\n";
  WriteDebugOutput(line.c_str());
}

std::wstring HexCode(unsigned long code) {
  wchar_t text[16] = {};
  std::swprintf(text, 16, L"0x%08lX", code);
  return text;
}

}  // namespace tessard
