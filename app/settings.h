#pragma once
// The product's settings key under HKEY_LOCAL_MACHINE: read once at start-up and handed to
// the language selection, the main dialog and the manager launch; written by the tray menu.

#include <windows.h>

#include <optional>
#include <string>

#include "localisation/lang.h"
#include "token/product_info.h"

namespace tessard {

struct Settings {
  LanguageSettings language;  // whether the key exists, "Path", "InstallLanguageId"
  std::optional<DWORD> nonCache;
  // Set by an administrator, the policy's before the settings key's: only administrators can
  // write under HKEY_LOCAL_MACHINE.
  std::optional<std::wstring> updateUrl;
  // "InstallUpdates" 0 turns the update agent's installers off; the configuration is still read.
  bool installUpdates = true;
};

// One read of the policy key and the settings key: every value the program reads from them.
Settings ReadSettings(const wchar_t* keyPath = kProductInfo.settingsKeyPath);

// The main dialog's language number: "InstallLanguageId"'s leading integer, 1033 when the key
// or the value cannot be read.
int LanguageIdOf(const Settings& settings);

bool NonCacheOf(const Settings& settings);

// The values the tray menu stores; false when the key cannot be opened for writing or the
// write fails. Neither changes what was read at start-up.
enum class StoreResult { KeyUnavailable, Stored, Failed };
StoreResult StoreLanguageId(const wchar_t* languageId);
StoreResult StoreNonCache(DWORD value);

}  // namespace tessard
