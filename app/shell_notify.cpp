#include "app/shell_notify.h"

namespace tessard {

namespace {

BOOL CallShellNotifyIconW(DWORD message, NOTIFYICONDATAW* data) { return ::Shell_NotifyIconW(message, data); }

ShellNotifyFunction shellNotifyFunction = &CallShellNotifyIconW;

}  // namespace

BOOL ShellNotify(DWORD message, NOTIFYICONDATAW* data) { return shellNotifyFunction(message, data); }

ShellNotifyFunction ReplaceShellNotifyFunction(ShellNotifyFunction function) {
  ShellNotifyFunction previous = shellNotifyFunction;
  shellNotifyFunction = function;
  return previous;
}

}  // namespace tessard
