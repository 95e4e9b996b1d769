#pragma once
// The failure trace: one line for each failure the program decides without a word to the
// person at the screen (a module entry that fails, a certificate that goes to no store, a store
// that does not open, a file refused). The lines go to the debug output, visible with a
// debug-output viewer on Windows and with WINEDEBUG=warn+debugstr under Wine; the program
// keeps no log of its own. Free of <windows.h>.

#include <string>
#include <string_view>

namespace tessard {

// Writes "Tessard: <what>" as one line.
void Trace(std::wstring_view what);

// A status or error code as the system documents it: "0x" and eight hex digits.
std::wstring HexCode(unsigned long code);

}  // namespace tessard
