#include "tests/e2e/program_under_test.h"

#include <gtest/gtest.h>

#include "app/instance_message.h"
#include "tests/e2e/process_start.h"
#include "token/product_info.h"

namespace tessard::e2e {

namespace {

bool PollFor(std::chrono::milliseconds limit, const auto& done) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ::Sleep(20);
  }
  return true;
}

struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (search->processId == 0 || owner == search->processId) search->found.push_back(window);
  return TRUE;
}

}  // namespace

Program::Program(const std::wstring& arguments, const std::wstring& file, const std::wstring& workFolder) {
  const std::wstring folder = workFolder.empty() ? ExecutableFolder() : workFolder;
  const std::wstring path = file.find(L':') != std::wstring::npos ? file : ExecutableFolder() + file;
  std::wstring line = L"\"" + path + L"\"";
  if (!arguments.empty()) line += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  StartedProcess started = StartProcess(line, startup, false, 0, folder.c_str());
  if (!started) ADD_FAILURE() << "the program did not start: error " << started.error;
  process_ = std::move(started.process);
  id_ = started.id;
}

// Waited for: a process still on its way out holds the single-instance mutex, and the next
// test's program would take itself for a second instance and end.
Program::~Program() { Kill(); }

void Program::Kill() {
  if (!IsRunning()) return;
  ::TerminateProcess(process_.get(), 99);
  ::WaitForSingleObject(process_.get(), 10000);
}

bool Program::IsRunning() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

bool Program::WaitForExit(std::chrono::milliseconds limit, DWORD* code) const {
  if (!process_ || ::WaitForSingleObject(process_.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
    return false;
  }
  if (code != nullptr) ::GetExitCodeProcess(process_.get(), code);
  return true;
}

std::vector<HWND> WindowsOf(DWORD processId) {
  WindowSearch search{processId, {}};
  ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

HWND FindMainDialog(DWORD processId) {
  for (HWND window : WindowsOf(processId)) {
    if (TextOf(window) == SettingsKeyLeaf() && ClassOf(window) == L"#32770") return window;
  }
  return nullptr;
}

HWND WaitForWindow(DWORD processId, const std::wstring& caption, const std::wstring& windowClass,
                   std::chrono::milliseconds limit) {
  HWND found = nullptr;
  PollFor(limit, [&] {
    for (HWND window : WindowsOf(processId)) {
      if (TextOf(window) == caption && ClassOf(window) == windowClass) found = window;
    }
    return found != nullptr;
  });
  return found;
}

std::vector<std::wstring> StaticTextsOf(HWND window) {
  std::vector<std::wstring> texts;
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::lstrcmpiW(ClassOf(child).c_str(), L"static") == 0 && !TextOf(child).empty()) texts.push_back(TextOf(child));
  }
  return texts;
}

bool InstanceRuns() { return static_cast<bool>(UniqueHandle(::OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutexName))); }

void EndRunningInstance() {
  // Its window goes before its mutex: an instance on its way out still counts.
  if (FindMainDialog() == nullptr && !InstanceRuns()) return;
  Program terminate(L"-t");
  terminate.WaitForExit(10s);
  EXPECT_TRUE(PollFor(10s, [] { return FindMainDialog() == nullptr && !InstanceRuns(); })) << "an instance outlived -t";
}

}  // namespace tessard::e2e
