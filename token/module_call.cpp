#include "token/module_call.h"

#include <string>

#include "platform/trace.h"

namespace tessard {

CK_RV Checked(const char* entry, CK_RV rv) {
  if (rv != CKR_OK) {
    std::wstring line(entry, entry + std::char_traits<char>::length(entry));
    Trace(line + L" failed: " + HexCode(rv));
  }
  return rv;
}

}  // namespace tessard
