#pragma once
// What the shell shows of a program's tray icon in words: the icon's tip and its balloons.

#include <string>
#include <vector>

namespace tessard {

// The texts of the visible tooltips of this thread's desktop.
std::vector<std::wstring> ShownTips();

}  // namespace tessard
