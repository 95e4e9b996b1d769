#include "token/info_page.h"

#include "platform/registry.h"
#include "token/browser_command.h"

namespace tessard {

namespace {

constexpr wchar_t kBrowserAppPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

std::wstring BrowserPath() {
  UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kBrowserAppPath, KEY_QUERY_VALUE);
  if (!key) return {};
  return ReadRegistryText(key.get(), nullptr).value_or(std::wstring());
}

}  // namespace

std::optional<StartedBrowser> OpenInfoPage(const std::wstring& url) {
  const std::wstring browser = BrowserPath();
  if (browser.empty()) return std::nullopt;
  std::wstring commandLine = BrowserCommandLine(browser, url);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
    return std::nullopt;
  }
  UniqueHandle thread(started.hThread);
  return StartedBrowser{UniqueHandle(started.hProcess), started.dwThreadId};
}

}  // namespace tessard
