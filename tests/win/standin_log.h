#pragma once
// The stand-ins of tools/standin from a test: copies under the names the system starts
// programs by, the browser entry that points the system at one, and the log they append to.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace tessard::testing {

// The folder of the running test executable, with a final backslash.
std::wstring ExecutableFolder();

// The running test case's name, unique among the cases that run side by side in this and
// other executables.
std::wstring UniqueCaseName();

// Copies the stand-in of the test folder to `path`.
bool CopyStandin(const std::wstring& path);

// Makes `path` the browser that the system finds under "App Paths"; an empty path forgets it.
void RegisterBrowser(const std::wstring& path);

using LogLines = std::vector<std::string>;

// A log of the running test case's own, named through STANDIN_LOG and STANDIN_EVENT to the
// stand-ins that this process, or any program it starts, starts.
class StandinLog {
 public:
  StandinLog();
  ~StandinLog();
  StandinLog(const StandinLog&) = delete;
  StandinLog& operator=(const StandinLog&) = delete;

  LogLines Lines() const;
  // The lines, read again each time a stand-in says it has written, until `enough` holds for
  // them or none wrote for 10 s.
  LogLines WaitFor(const std::function<bool(const LogLines&)>& enough) const;

 private:
  std::wstring path_;
  UniqueHandle written_;
};

}  // namespace tessard::testing
