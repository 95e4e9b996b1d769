#pragma once
// The product's settings key under HKEY_LOCAL_MACHINE: read once at start-up and handed to
// the language selection, the main dialog and the manager launch; written by the tray menu.

#include <windows.h>

#include <optional>
#include <string>

#include "localisation/lang.h"
#include "token/product_info.h"

namespace tessard {

// Which provider the "MY" entries name: the token maker's cryptographic service provider, or
// its key storage provider (which browsers need for the RSA-PSS signatures of TLS 1.3).
enum class KeyProviderKind { Csp, Ksp };

struct Settings {
  // Whether the settings key exists, "Path", and the language: the user's own choice, else the
  // policy's, else the machine's "InstallLanguageId".
  LanguageSettings language;
  std::optional<DWORD> nonCache;
  KeyProviderKind keyProvider = KeyProviderKind::Csp;  // the policy's "KeyProvider", else the settings key's
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

// The values the tray menu stores; neither changes what was read at start-up. The language is
// the user's own (HKEY_CURRENT_USER\Software\Tessard "LanguageId"); the cache option is the
// machine's, which only an administrator can write.
enum class StoreResult { KeyUnavailable, Stored, Failed };
StoreResult StoreLanguageId(const wchar_t* languageId);
StoreResult StoreNonCache(DWORD value);

// Whether this user may write the machine's settings key: a standard user may not.
bool MachineSettingsWritable();

}  // namespace tessard
