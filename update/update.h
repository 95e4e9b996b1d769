#pragma once
// The update agent: operational parameters from the update server, and newer installers.

#include <string>

namespace tessard {

// Sets warnDays (30 when the configuration cannot be had) and may replace url.
bool FetchUpdateConfig(unsigned long slot, int& warnDays, std::wstring& url);
void RunUpdate();

}  // namespace tessard
