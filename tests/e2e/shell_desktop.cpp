#include "tests/e2e/shell_desktop.h"

#include <gtest/gtest.h>
// After <windows.h>, which they need.
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/handles.h"
#include "platform/text_convert.h"
#include "tests/e2e/process_start.h"
#include "tests/e2e/program_under_test.h"
#include "tools/deskprobe/shown_tips.h"

namespace tessard::e2e {

namespace {

constexpr UINT kTrayIconId = 128;
// Wine's notification area gives each icon a border of 2 pixels around the small icon size.
constexpr int kTrayIconBorder = 2;

std::vector<DWORD> ProcessesOf(const wchar_t* fileName) {
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::vector<DWORD> found;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (std::wstring_view(entry.szExeFile) == fileName) found.push_back(entry.th32ProcessID);
  }
  return found;
}

// The pointer's moves go to the X window of the virtual desktop, in its own coordinates.
std::string AtDesktop(POINT at) {
  return "xdotool search --name '^" + ToNarrow(kShellDesktop, kCodePageAnsi) +
         " - Wine desktop$' mousemove --window %1 " + std::to_string(at.x) + " " + std::to_string(at.y);
}

}  // namespace

bool InShellDesktop() {
  wchar_t name[64] = {};
  ::GetUserObjectInformationW(::GetThreadDesktop(::GetCurrentThreadId()), UOI_NAME, name, sizeof name, nullptr);
  return std::wstring_view(name) == kShellDesktop;
}

int RunHostProgram(const std::string& command) {
  static int runs = 0;
  const std::string done =
      "/tmp/tessard-host-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++runs);
  std::wstring doneHere = L"Z:" + ToWide(done, kCodePageAnsi);
  std::replace(doneHere.begin(), doneHere.end(), L'/', L'\\');
  std::wstring line = ToWide(
      "/bin/sh -c \"timeout 10 " + command + "; echo $? >" + done + ".part && mv " + done + ".part " + done + "\"",
      kCodePageAnsi);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!StartProcess(line, startup)) return -1;
  // Wine gives no handle to wait for a host process: its end shows as the file of its exit code.
  if (!PollUntil(15s, [&doneHere] { return ::GetFileAttributesW(doneHere.c_str()) != INVALID_FILE_ATTRIBUTES; })) {
    return -1;
  }
  int code = -1;
  std::ifstream(std::filesystem::path(doneHere)) >> code;
  ::DeleteFileW(doneHere.c_str());
  return code;
}

void ClickAt(POINT at, int button, int clicks) {
  std::string command = AtDesktop(at);
  if (clicks > 0) command += " click --repeat " + std::to_string(clicks) + " --delay 80 " + std::to_string(button);
  EXPECT_EQ(RunHostProgram(command), 0) << command;
}

void PressKey(const char* key) { EXPECT_EQ(RunHostProgram(std::string("xdotool key ") + key), 0) << key; }

POINT TrayIconCentre() {
  RECT tray{};
  ::GetWindowRect(::FindWindowW(L"Shell_TrayWnd", nullptr), &tray);
  const int cell = ::GetSystemMetrics(SM_CXSMICON) + 2 * kTrayIconBorder;
  return {tray.right - cell / 2, (tray.top + tray.bottom) / 2};
}

POINT CentreOf(HWND window) {
  RECT frame{};
  ::GetWindowRect(window, &frame);
  return {(frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2};
}

HWND WaitForMenu() {
  HWND menu = nullptr;
  PollUntil(10s, [&menu] {
    menu = ::FindWindowW(MAKEINTATOM(32768), nullptr);
    return menu != nullptr && ::IsWindowVisible(menu);
  });
  return menu;
}

POINT MenuItemCentre(HWND menu, int item, int count) {
  RECT frame{};
  ::GetWindowRect(menu, &frame);
  return {(frame.left + frame.right) / 2, frame.top + (frame.bottom - frame.top) * (2 * item + 1) / (2 * count)};
}

bool IconInTray(HWND mainDialog) {
  // Changing nothing of an icon succeeds only for an icon the shell holds.
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = mainDialog;
  data.uID = kTrayIconId;
  return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool TipShown(const std::wstring& text) {
  for (const std::wstring& shown : ShownTips()) {
    if (shown == text) return true;
  }
  return false;
}

void Screenshot(const std::string& name, const std::string& what) {
  const std::string path = std::string(TESSARD_SCREENSHOT_DIR) + "/" + name + ".png";
  EXPECT_EQ(RunHostProgram("import -window root '" + path + "'"), 0) << path;
  std::cout << "screenshot: " << path << " (" << what << ")\n";
}

int ProcessCount(const wchar_t* fileName) { return static_cast<int>(ProcessesOf(fileName).size()); }

void EndProcesses(const wchar_t* fileName) {
  for (DWORD id : ProcessesOf(fileName)) {
    UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (process && ::TerminateProcess(process.get(), 0)) ::WaitForSingleObject(process.get(), 10000);
  }
}

}  // namespace tessard::e2e
