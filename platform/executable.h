#pragma once
// Where this program's executable lies: the programs and files installed or built beside it
// are found from there.

#include <string>

namespace tessard {

// The executable's folder, with its final backslash.
std::wstring ExecutableFolder();

}  // namespace tessard
