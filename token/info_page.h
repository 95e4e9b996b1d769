#pragma once
// The information page, opened in the browser that the system's App Paths entry names.

#include <windows.h>

#include <optional>
#include <string>

#include "platform/handles.h"

namespace tessard {

struct StartedBrowser {
  UniqueHandle process;
  DWORD threadId = 0;
};

// Starts the browser on the page; none when no browser is registered or it cannot start.
std::optional<StartedBrowser> OpenInfoPage(const std::wstring& url);

}  // namespace tessard
