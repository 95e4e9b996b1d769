#pragma once
// A host stand-in for the system's multi-byte conversion, for native tests and fuzzing:
// UTF-8 for code page 65001 (malformed sequences become U+FFFD), Latin-1 for every other
// code page. The Windows program uses the system's converter instead.

#include <string>
#include <string_view>

namespace tessard {

std::wstring HostToWide(std::string_view bytes, unsigned codePage);

}  // namespace tessard
