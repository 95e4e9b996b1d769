// The information page: opened once per insertion of a token, in the browser that the
// system's App Paths entry names.

#include "platform/registry.h"
#include "token/browser_command.h"
#include "token/token_access.h"

namespace tessard {

namespace {

constexpr wchar_t kBrowserAppPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

std::wstring BrowserPath() {
  UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kBrowserAppPath, KEY_QUERY_VALUE);
  if (!key) return {};
  return ReadRegistryText(key.get(), nullptr).value_or(std::wstring());
}

}  // namespace

void TokenAccess::LaunchInfoPage(CK_SLOT_ID slot, const std::wstring& url) {
  if (url.empty() || !IsSlotKnown(slot)) return;
  std::wstring browser = BrowserPath();
  if (browser.empty()) return;
  std::lock_guard<std::recursive_mutex> hold(lock);
  SlotEntry* entry = FindSlot(slot);
  if (entry == nullptr || entry->browserProcess) return;
  std::wstring commandLine = BrowserCommandLine(browser, url);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
    return;
  }
  UniqueHandle thread(started.hThread);
  entry->browserProcess.reset(started.hProcess);
  entry->browserThreadId = started.dwThreadId;
}

}  // namespace tessard
