#pragma once
// The program's replaceable calls, all in one list: each reaches the system unless a test has
// replaced it (see platform/seam.h). They are what a test cannot observe or bring about with
// the real call: boxes and menus that wait for a person, the shell, a refused registry write,
// a store that does not open, the network, long pauses and the debug output.

#include <windows.h>
// After <windows.h>, which they need.
#include <shellapi.h>
#include <wincrypt.h>
#include <wininet.h>

#include "platform/seam.h"

namespace tessard {

// MessageBoxW.
extern Seam<int(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style)> ShowMessageBox;
// Shell_NotifyIconW.
extern Seam<BOOL(DWORD message, NOTIFYICONDATAW* data)> ShellNotify;
// ShellExecuteW with "open" for a program file; its result is not waited for.
extern Seam<void(const wchar_t* path)> ShellOpen;
// ShellExecuteExW: the installer started with "runas".
extern Seam<BOOL(SHELLEXECUTEINFOW* execute)> ShellExecuteElevated;
// TrackPopupMenu with TPM_RETURNCMD: the command chosen, 0 when the menu was dismissed.
extern Seam<UINT(HMENU menu, POINT at, HWND owner)> TrackMenu;
// RegCreateKeyExW (`create`) or RegOpenKeyExW with KEY_SET_VALUE: where a standard user meets
// ERROR_ACCESS_DENIED under HKEY_LOCAL_MACHINE.
extern Seam<LSTATUS(HKEY root, const wchar_t* path, bool create, HKEY* key)> OpenKeyForWriting;
// RegSetValueExW.
extern Seam<LSTATUS(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes)> SetRegistryValue;
// CertOpenStore of the current user's registry store by name; the caller owns the handle.
extern Seam<HCERTSTORE(const wchar_t* name)> OpenUserStoreHandle;
// InternetGetConnectedState (Wine always says online).
extern Seam<BOOL(DWORD* flags)> ConnectedState;
// InternetOpenUrlW.
extern Seam<HINTERNET(HINTERNET internet, const wchar_t* url, DWORD flags)> OpenUrl;
// Sleep: the pauses in which another program is given time (to write its "MY" entry of a
// certificate it put on the token, to end the installation that holds the install mutex).
extern Seam<void(DWORD milliseconds)> Pause;
// OutputDebugStringW: where the failure trace goes.
extern Seam<void(const wchar_t* line)> WriteDebugOutput;

}  // namespace tessard
