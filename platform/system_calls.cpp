#include "platform/system_calls.h"

namespace tessard {

namespace {

int CallMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
  return ::MessageBoxW(owner, text, caption, style);
}

BOOL CallShellNotifyIcon(DWORD message, NOTIFYICONDATAW* data) { return ::Shell_NotifyIconW(message, data); }

void CallShellOpen(const wchar_t* path) { ::ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL); }

BOOL CallShellExecuteEx(SHELLEXECUTEINFOW* execute) { return ::ShellExecuteExW(execute); }

UINT CallTrackPopupMenu(HMENU menu, POINT at, HWND owner) {
  return static_cast<UINT>(::TrackPopupMenu(menu, TPM_RETURNCMD, at.x, at.y, 0, owner, nullptr));
}

LSTATUS CallRegSetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes) {
  return ::RegSetValueExW(key, name, 0, type, data, bytes);
}

LSTATUS CallRegOpenForWriting(HKEY root, const wchar_t* path, bool create, HKEY* key) {
  if (!create) return ::RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, key);
  return ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key, nullptr);
}

HCERTSTORE CallCertOpenUserStore(const wchar_t* name) {
  return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name);
}

BOOL CallInternetGetConnectedState(DWORD* flags) { return ::InternetGetConnectedState(flags, 0); }

HINTERNET CallInternetOpenUrl(HINTERNET internet, const wchar_t* url, DWORD flags) {
  return ::InternetOpenUrlW(internet, url, nullptr, 0, flags, 0);
}

void CallSleep(DWORD milliseconds) { ::Sleep(milliseconds); }

void CallOutputDebugString(const wchar_t* line) { ::OutputDebugStringW(line); }

}  // namespace

constinit Seam<int(HWND, const wchar_t*, const wchar_t*, UINT)> ShowMessageBox{&CallMessageBox};
constinit Seam<BOOL(DWORD, NOTIFYICONDATAW*)> ShellNotify{&CallShellNotifyIcon};
constinit Seam<void(const wchar_t*)> ShellOpen{&CallShellOpen};
constinit Seam<BOOL(SHELLEXECUTEINFOW*)> ShellExecuteElevated{&CallShellExecuteEx};
constinit Seam<UINT(HMENU, POINT, HWND)> TrackMenu{&CallTrackPopupMenu};
constinit Seam<LSTATUS(HKEY, const wchar_t*, bool, HKEY*)> OpenKeyForWriting{&CallRegOpenForWriting};
constinit Seam<LSTATUS(HKEY, const wchar_t*, DWORD, const BYTE*, DWORD)> SetRegistryValue{&CallRegSetValue};
constinit Seam<HCERTSTORE(const wchar_t*)> OpenUserStoreHandle{&CallCertOpenUserStore};
constinit Seam<BOOL(DWORD*)> ConnectedState{&CallInternetGetConnectedState};
constinit Seam<HINTERNET(HINTERNET, const wchar_t*, DWORD)> OpenUrl{&CallInternetOpenUrl};
constinit Seam<void(DWORD)> Pause{&CallSleep};
constinit Seam<void(const wchar_t*)> WriteDebugOutput{&CallOutputDebugString};

}  // namespace tessard
