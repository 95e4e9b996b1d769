#pragma once
// Starting tessard.exe from the test's own folder and watching it from outside: its
// process, its windows and the boxes it shows.

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/executable.h"
#include "platform/handles.h"

namespace tessard::e2e {

using namespace std::chrono_literals;

class Program {
 public:
  // Starts tessard.exe (or another program of the test folder, or one at a full path) with the
  // given arguments, in the test folder or in `workFolder` when one is given.
  explicit Program(const std::wstring& arguments, const std::wstring& file = L"tessard.exe",
                   const std::wstring& workFolder = L"");
  ~Program();
  Program(Program&&) = default;

  DWORD Id() const { return id_; }
  bool Started() const { return static_cast<bool>(process_); }
  bool IsRunning() const;
  // Ends the process at once, as a crash or the task manager would, and waits for it.
  void Kill();
  // True when the process ended within the limit; its exit code goes to `code`.
  bool WaitForExit(std::chrono::milliseconds limit, DWORD* code = nullptr) const;

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

// Top-level windows of one process (0: of any process).
std::vector<HWND> WindowsOf(DWORD processId);
std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);

// The hidden main dialog of a running instance, found by its caption; null when none.
HWND FindMainDialog(DWORD processId = 0);

// Waits for a top-level window of the process with this caption and class.
HWND WaitForWindow(DWORD processId, const std::wstring& caption, const std::wstring& windowClass,
                   std::chrono::milliseconds limit);

// The texts of a window's static controls, in order.
std::vector<std::wstring> StaticTextsOf(HWND window);

// True while an instance holds the single-instance mutex.
bool InstanceRuns();

// Ends any running instance with "-t" and waits until none is left.
void EndRunningInstance();

// Asks every 100 ms until the condition holds or the limit has passed.
template <typename Condition>
bool PollUntil(std::chrono::milliseconds limit, Condition condition) {
  for (auto waited = 0ms; waited < limit; waited += 100ms) {
    if (condition()) return true;
    ::Sleep(100);
  }
  return condition();
}

}  // namespace tessard::e2e
