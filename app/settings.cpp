#include "app/settings.h"

#include "app/policy_values.h"
#include "localisation/language_file.h"
#include "platform/registry.h"
#include "platform/system_calls.h"

namespace tessard {

namespace {

constexpr int kDefaultLanguageId = 1033;

template <typename Write>
StoreResult StoreValue(Write write) {
  UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, KEY_ALL_ACCESS);
  if (!key) return StoreResult::KeyUnavailable;
  return write(key.get()) == ERROR_SUCCESS ? StoreResult::Stored : StoreResult::Failed;
}

}  // namespace

Settings ReadSettings(const wchar_t* keyPath) {
  Settings settings;
  const UniqueRegKey policy = OpenRegistryKey(HKEY_LOCAL_MACHINE, kPolicyKeyPath, KEY_QUERY_VALUE);
  std::optional<DWORD> installUpdates;
  if (policy) {
    settings.updateUrl = ReadTypedText(policy.get(), kPolicyUpdateUrl);
    installUpdates = ReadTypedNumber(policy.get(), kPolicyInstallUpdates);
  }
  UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE);
  if (key && !installUpdates) installUpdates = ReadTypedNumber(key.get(), kPolicyInstallUpdates);
  settings.installUpdates = installUpdates.value_or(1) != 0;
  if (!key) return settings;
  settings.language.keyFound = true;
  // A "Path" without any data names no folder, not an empty one.
  if (std::optional<RegistryText> path = QueryRegistryText(key.get(), L"Path"); path && path->bytes != 0) {
    settings.language.installFolder = std::move(path->text);
  }
  settings.language.installLanguageId = ReadRegistryText(key.get(), L"InstallLanguageId");
  settings.nonCache = ReadRegistryDword(key.get(), L"NonCache");
  if (!settings.updateUrl) settings.updateUrl = ReadRegistryText(key.get(), L"UpdateUrl");
  return settings;
}

int LanguageIdOf(const Settings& settings) {
  if (!settings.language.installLanguageId) return kDefaultLanguageId;
  return zeph::ReadLeadingInteger(*settings.language.installLanguageId);
}

bool NonCacheOf(const Settings& settings) { return settings.nonCache.value_or(0) != 0; }

StoreResult StoreLanguageId(const wchar_t* languageId) {
  return StoreValue([languageId](HKEY key) {
    const auto bytes = static_cast<DWORD>((std::wcslen(languageId) + 1) * sizeof(wchar_t));
    return SetRegistryValue(key, L"InstallLanguageId", REG_SZ, reinterpret_cast<const BYTE*>(languageId), bytes);
  });
}

StoreResult StoreNonCache(DWORD value) {
  return StoreValue([value](HKEY key) {
    return SetRegistryValue(key, L"NonCache", REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  });
}

}  // namespace tessard
