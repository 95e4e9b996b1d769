#pragma once
// The log of the stand-in programs (tools/standin) and the event each sets once it has
// written. Both are named in this process's environment, so that every program it starts,
// and every program those start, reports here. Also the stand-ins themselves: copies under
// the names the system starts programs by, and the browser entry that points it at one.

#include <functional>
#include <string>
#include <vector>

#include "platform/executable.h"
#include "platform/handles.h"

namespace tessard::testing {

// Copies the stand-in of the test folder to `path`.
bool CopyStandin(const std::wstring& path);

// Makes `path` the browser that the system finds under "App Paths"; an empty path forgets it.
void RegisterBrowser(const std::wstring& path);

class StandinLog {
 public:
  // Empties the log at `path` and names an event of this process for the stand-ins.
  explicit StandinLog(std::wstring path);
  ~StandinLog();

  // The lines, read again each time a stand-in says it has written, until `enough` holds for
  // them or none wrote for 10 s.
  std::vector<std::string> LinesOnce(const std::function<bool(const std::vector<std::string>&)>& enough);
  std::vector<std::string> Lines() const;

  // How often a stand-in of that file name started, once at least `count` did or none
  // wrote for 10 s.
  int StartsOnce(const std::string& fileName, int count);

 private:
  std::wstring path_;
  UniqueHandle written_;
};

}  // namespace tessard::testing
