#pragma once
// The running Windows version, classified once at start-up.

#include <windows.h>

namespace tessard {

struct SystemVersion {
  OSVERSIONINFOEXW info{};  // as GetVersionExW returned it; zero when both requests failed
  bool valid = false;
  bool windows9xFamily = false;
};

// Asks the system (the extended structure first, then the plain one) and classifies.
SystemVersion QuerySystemVersion();

// The process-wide record, filled at its first use (the program touches it during static
// initialisation) and read-only afterwards.
const SystemVersion& TheSystemVersion();

bool IsWindows9xFamily();

// Asked anew at each call.
bool IsNt6OrLater();

// EnumThreadWindows callback: asks each window to close, and always goes on.
BOOL CALLBACK CloseWindowProc(HWND window, LPARAM value);

}  // namespace tessard
