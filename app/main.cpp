// The program's entry. The static objects below are made in this order, before anything
// runs: the balloon's font (and with it a first language load), the shell's
// "TaskbarCreated" message, the application object, the system version.

#include <windows.h>

#include "app/application.h"
#include "app/main_dialog.h"
#include "balloon/balloon_window.h"
#include "platform/system_version.h"

namespace {

const int balloonLanguage = tessard::InitialiseBalloonFont();
const UINT taskbarCreated = tessard::TaskbarCreatedMessage();
tessard::CTessardApp theApp;
const bool versionClassified = (tessard::TheSystemVersion(), true);

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  (void)balloonLanguage;
  (void)taskbarCreated;
  (void)versionClassified;
  theApp.InitInstance();
  return theApp.ExitInstance();
}
