#include "update/update.h"

// No update server is consulted yet: the defaults the program runs with when the server
// cannot be reached.

namespace tessard {

bool FetchUpdateConfig(unsigned long, int& warnDays, std::wstring&) {
  warnDays = 30;
  return true;
}

void RunUpdate() {}

}  // namespace tessard
