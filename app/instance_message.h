#pragma once
// How instances of the program talk within a logon session: a registered message posted to
// every top-level window, and the mutex that makes the first instance the only one.

#include <windows.h>

namespace tessard {

inline constexpr wchar_t kInstanceMessageName[] = L"0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47_tessard_single_instance_msgid";
inline constexpr wchar_t kInstanceMutexName[] = L"0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47_tessard_single_instance";

// The message's wParam.
enum InstanceCommand : WPARAM {
  kInstanceTerminate = 1,  // the running instance ends
  kInstanceSilent = 3,     // the running instance shows no tray icon from now on
};

}  // namespace tessard
