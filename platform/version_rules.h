#pragma once
// How a reported Windows version is classified. Free of <windows.h> so that the rules
// are tested natively as well as under Wine.

#include <cstdint>

namespace tessard {

inline constexpr uint32_t kPlatformWin32Windows = 1;  // VER_PLATFORM_WIN32_WINDOWS
inline constexpr uint32_t kPlatformWin32Nt = 2;       // VER_PLATFORM_WIN32_NT

// Windows 95 (4.0), 98 (4.10) and Me (4.90).
constexpr bool IsWindows9xVersion(uint32_t platformId, uint32_t major, uint32_t minor) {
  return platformId == kPlatformWin32Windows && major == 4 && (minor == 0 || minor == 10 || minor == 90);
}

// Vista (6.0) and every later NT version.
constexpr bool IsNt6OrLaterVersion(uint32_t platformId, uint32_t major) {
  return platformId == kPlatformWin32Nt && major >= 6;
}

}  // namespace tessard
