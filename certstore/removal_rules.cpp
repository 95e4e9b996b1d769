#include "certstore/removal_rules.h"

namespace tessard {
namespace {

constexpr std::size_t kMaxPath = 260;
constexpr std::wstring_view kBaseSmartCardProvider = L"Microsoft Base Smart Card Crypto Provider";
constexpr std::wstring_view kKeyStorageProvider = L"Microsoft Smart Card Key Storage Provider";

bool Contains(std::wstring_view text, std::wstring_view part) { return text.find(part) != std::wstring_view::npos; }

bool HasNames(const KeyProviderEntry& entry) { return !entry.providerName.empty() && !entry.containerName.empty(); }

}  // namespace

std::optional<std::wstring> BuildContainerPath(std::wstring_view readerName, std::wstring_view containerName) {
  std::wstring path = L"\\\\.\\";
  path.append(readerName);
  path.push_back(L'\\');
  path.append(containerName);
  if (path.size() >= kMaxPath) return std::nullopt;
  return path;
}

bool NamesContainer(const KeyProviderEntry& entry, const RegisteredKey& key) {
  return entry.containerName == key.bareContainer || entry.containerName == key.containerPath;
}

bool MatchesRuleA(const KeyProviderEntry& entry, const RegisteredKey& key) {
  return HasNames(entry) && entry.keySpec == key.keySpec && Contains(entry.providerName, key.providerName) &&
         NamesContainer(entry, key);
}

bool MatchesRuleB(const KeyProviderEntry& entry, const RegisteredKey& key) {
  return HasNames(entry) && Contains(key.providerName, kBaseSmartCardProvider) &&
         Contains(entry.providerName, kKeyStorageProvider) && NamesContainer(entry, key);
}

bool BelongsToKey(const KeyProviderEntry& entry, const RegisteredKey& key) {
  return MatchesRuleA(entry, key) || MatchesRuleB(entry, key);
}

}  // namespace tessard
