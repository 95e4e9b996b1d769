#pragma once
// The application object: command line, single instance, and the run of the main dialog.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/handles.h"

namespace tessard {

// The names through which instances of the program find each other in a logon session.
inline constexpr wchar_t kInstanceMessageName[] =
    L"0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47_tessard_single_instance_msgid";
inline constexpr wchar_t kInstanceMutexName[] = L"0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47_tessard_single_instance";

class CTessardApp {
 public:
  CTessardApp() = default;
  virtual ~CTessardApp() = default;
  CTessardApp(const CTessardApp&) = delete;
  CTessardApp& operator=(const CTessardApp&) = delete;

  // The whole life of the program; always FALSE.
  virtual BOOL InitInstance();
  virtual int ExitInstance();

 private:
  int RunInstance();

  bool m_bSilent = false;
  UINT m_nInstanceMessage = 0;
  bool m_bTerminate = false;
  UniqueHandle m_hInstanceMutex;
};

// The program's own message boxes: owned by the main window, titled with the program name.
int AppMessageBox(const wchar_t* text, UINT style);

}  // namespace tessard
