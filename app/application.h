#pragma once
// The application object: command line, single instance, and the run of the main dialog.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/instance_message.h"
#include "app/settings.h"
#include "platform/handles.h"

namespace tessard {

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
  void AwaitEndOfRunningInstance();

  Settings m_settings;  // read once at start-up
  bool m_bSilent = false;
  UINT m_nInstanceMessage = 0;
  bool m_bTerminate = false;
  UniqueHandle m_hInstanceMutex;
};

// The program's own message boxes: owned by the main window, titled with the program name.
int AppMessageBox(const wchar_t* text, UINT style);

}  // namespace tessard
