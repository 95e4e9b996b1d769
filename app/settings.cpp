#include "app/settings.h"

#include "app/policy_values.h"
#include "localisation/language_file.h"
#include "platform/registry.h"
#include "platform/system_calls.h"
#include "platform/trace.h"

namespace tessard {

namespace {

constexpr int kDefaultLanguageId = 1033;
constexpr wchar_t kLanguageValue[] = L"LanguageId";
constexpr wchar_t kKeyStorageProvider[] = L"KSP";
constexpr wchar_t kServiceProvider[] = L"CSP";

// The languages the menu offers; any other text there is refused with a line in the trace.
std::optional<std::wstring> ChosenLanguage(HKEY key) {
  if (!key) return std::nullopt;
  std::optional<std::wstring> chosen = ReadTypedText(key, kLanguageValue);
  if (chosen && *chosen != L"1033" && *chosen != L"1066") {
    Trace(L"the language " + *chosen + L" is refused: only 1033 and 1066 are offered");
    return std::nullopt;
  }
  return chosen;
}

std::optional<KeyProviderKind> KeyProviderIn(HKEY key) {
  if (!key) return std::nullopt;
  const std::optional<std::wstring> text = ReadTypedText(key, kPolicyKeyProvider);
  if (!text) return std::nullopt;
  if (::lstrcmpiW(text->c_str(), kKeyStorageProvider) == 0) return KeyProviderKind::Ksp;
  if (::lstrcmpiW(text->c_str(), kServiceProvider) == 0) return KeyProviderKind::Csp;
  Trace(L"the key provider " + *text + L" is refused: it is CSP or KSP");
  return std::nullopt;
}

UniqueRegKey OpenMachineSettings(LSTATUS& status) {
  return OpenWritableKey(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, false, status);
}

}  // namespace

Settings ReadSettings(const wchar_t* keyPath) {
  Settings settings;
  const UniqueRegKey policy = OpenRegistryKey(HKEY_LOCAL_MACHINE, kPolicyKeyPath, KEY_QUERY_VALUE);
  const UniqueRegKey user = OpenRegistryKey(HKEY_CURRENT_USER, kUserKeyPath, KEY_QUERY_VALUE);
  const UniqueRegKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_QUERY_VALUE);
  std::optional<DWORD> installUpdates;
  if (policy) {
    settings.updateUrl = ReadTypedText(policy.get(), kPolicyUpdateUrl);
    installUpdates = ReadTypedNumber(policy.get(), kPolicyInstallUpdates);
  }
  if (key && !installUpdates) installUpdates = ReadTypedNumber(key.get(), kPolicyInstallUpdates);
  settings.installUpdates = installUpdates.value_or(1) != 0;
  settings.keyProvider = KeyProviderIn(policy.get()).value_or(KeyProviderIn(key.get()).value_or(KeyProviderKind::Csp));
  std::optional<std::wstring> language = ChosenLanguage(user.get());
  if (!language) language = ChosenLanguage(policy.get());
  if (!key) return settings;
  settings.language.keyFound = true;
  // A "Path" without any data names no folder, not an empty one.
  if (std::optional<RegistryText> path = QueryRegistryText(key.get(), L"Path"); path && path->bytes != 0) {
    settings.language.installFolder = std::move(path->text);
  }
  settings.language.installLanguageId = language ? language : ReadRegistryText(key.get(), L"InstallLanguageId");
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
  return WriteRegistryText(HKEY_CURRENT_USER, kUserKeyPath, kLanguageValue, languageId) ? StoreResult::Stored
                                                                                        : StoreResult::Failed;
}

StoreResult StoreNonCache(DWORD value) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueRegKey key = OpenMachineSettings(status);
  if (!key) return status == ERROR_FILE_NOT_FOUND ? StoreResult::KeyUnavailable : StoreResult::Failed;
  return WriteRegistryNumber(key.get(), L"NonCache", value) == ERROR_SUCCESS ? StoreResult::Stored
                                                                             : StoreResult::Failed;
}

bool MachineSettingsWritable() {
  LSTATUS status = ERROR_SUCCESS;
  return static_cast<bool>(OpenMachineSettings(status));
}

}  // namespace tessard
