#pragma once
// Which "MY" entries belong to a token's certificate, decided over plain values so that
// the rules are tested without a certificate store.

#include <optional>
#include <string>
#include <string_view>

namespace tessard {

// "\\.\" + reader + "\" + container; nullopt when that reaches 260 characters.
std::optional<std::wstring> BuildContainerPath(std::wstring_view readerName, std::wstring_view containerName);

// The key-provider information of one store entry.
struct KeyProviderEntry {
  std::wstring providerName;
  std::wstring containerName;
  unsigned long keySpec = 0;
};

// The certificate being unregistered and where its key lives.
struct RegisteredKey {
  std::wstring providerName;  // the provider in use for the token
  std::wstring containerPath;
  std::wstring bareContainer;
  unsigned long keySpec = 0;
};

// An entry names the certificate's container only when its container is the bare name or
// the whole path: a mere substring would let a short name hit another program's entry.
bool NamesContainer(const KeyProviderEntry& entry, const RegisteredKey& key);

// Entries this program registered: same key spec, a provider containing ours.
bool MatchesRuleA(const KeyProviderEntry& entry, const RegisteredKey& key);

// Entries the system's key storage provider made for our container while the base smart
// card provider serves the token.
bool MatchesRuleB(const KeyProviderEntry& entry, const RegisteredKey& key);

bool BelongsToKey(const KeyProviderEntry& entry, const RegisteredKey& key);

}  // namespace tessard
