#pragma once
// Every program a test starts is started here. Under load Wine now and then refuses a start
// before any of the program has run; such a start changed nothing, so it is tried again, and
// what Wine answered is kept for the report of a start that never came about.

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace tessard::e2e {

struct StartedProcess {
  bool started = false;
  // None for a host program: Wine gives no handle of those.
  UniqueHandle process;
  DWORD id = 0;
  // GetLastError of the last refused try.
  DWORD error = 0;
  explicit operator bool() const { return started; }
};

// CreateProcessW with these arguments, tried again while it fails.
StartedProcess StartProcess(std::wstring commandLine, STARTUPINFOW& startup, bool inheritHandles = false,
                            DWORD flags = 0, const wchar_t* folder = nullptr);

}  // namespace tessard::e2e
