#pragma once
// The token manager: a program of its own in the installation folder, started on insertion
// and on a double-click of the tray icon, ended on removal and at exit.

#include <windows.h>

#include <string>

#include "app/settings.h"
#include "platform/handles.h"

namespace tessard {

// Starts `managerExe` from the settings' installation folder, again on every call. True also
// when no folder is set (nothing is started); false without a settings key or manager name.
bool LaunchManager(const Settings& settings, const std::wstring& managerExe);

// The first running process whose executable file name is `name` exactly, opened for
// termination; empty when there is none.
UniqueHandle FindProcessByName(const std::wstring& name);

// Ends a running process of that name with exit code 0.
void TerminateManager(const std::wstring& managerExe);

}  // namespace tessard
