// The settings read at start-up, and the start of the token manager.

#include "app/main_dialog.h"

#include <shellapi.h>

#include <cwchar>

#include "localisation/lang.h"
#include "platform/registry.h"
#include "token/product_info.h"

namespace tessard {

void CTessardDlg::LoadSettings() {
  m_nLanguageId = 1033;
  m_bNonCache = false;
  if (UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, KEY_QUERY_VALUE)) {
    if (std::optional<std::wstring> language = ReadRegistryText(key.get(), L"InstallLanguageId")) {
      m_nLanguageId = static_cast<int>(std::wcstol(language->c_str(), nullptr, 10));
    }
    const std::optional<DWORD> nonCache = ReadRegistryDword(key.get(), L"NonCache");
    m_bNonCache = nonCache.has_value() && *nonCache != 0;
  }
  if (m_nLanguageId > 0) LangSetId(m_nLanguageId);
  m_strManagerExe = kProductInfo.managerExeName;
  m_bTrayIconWanted = true;
  m_nWarnDays = 30;
}

bool CTessardDlg::LaunchManager() {
  UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, KEY_QUERY_VALUE);
  if (!key) return false;
  std::wstring path = ReadRegistryText(key.get(), L"Path").value_or(L"");
  key.reset();
  if (path.empty()) return true;
  if (path.back() != L'\\') path += L'\\';
  if (m_strManagerExe.empty()) return false;
  path += m_strManagerExe;
  ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return true;
}

}  // namespace tessard
