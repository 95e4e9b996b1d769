#include "platform/system_version.h"

#include "platform/version_rules.h"

namespace tessard {

namespace {

// GetVersionExW is deprecated in the headers but is exactly the call whose answer Wine's
// per-prefix version setting controls, and the one old systems have.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool AskVersion(OSVERSIONINFOEXW& info, DWORD size) {
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = size;
  return ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
}
#pragma GCC diagnostic pop

}  // namespace

SystemVersion QuerySystemVersion() {
  SystemVersion version;
  version.valid =
      AskVersion(version.info, sizeof(OSVERSIONINFOEXW)) || AskVersion(version.info, sizeof(OSVERSIONINFOW));
  if (!version.valid) ZeroMemory(&version.info, sizeof(version.info));
  version.windows9xFamily = version.valid && IsWindows9xVersion(version.info.dwPlatformId, version.info.dwMajorVersion,
                                                                version.info.dwMinorVersion);
  return version;
}

const SystemVersion& TheSystemVersion() {
  static const SystemVersion systemVersion = QuerySystemVersion();
  return systemVersion;
}

bool IsWindows9xFamily() { return TheSystemVersion().windows9xFamily; }

bool IsNt6OrLater() {
  OSVERSIONINFOEXW info;
  return AskVersion(info, sizeof(OSVERSIONINFOW)) && IsNt6OrLaterVersion(info.dwPlatformId, info.dwMajorVersion);
}

BOOL CALLBACK CloseWindowProc(HWND window, LPARAM) {
  ::SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;
}

}  // namespace tessard
