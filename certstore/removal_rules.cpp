#include "certstore/removal_rules.h"

#include <algorithm>
#include <cwctype>

namespace tessard {
namespace {

constexpr std::size_t kMaxPath = 260;
constexpr std::wstring_view kBaseSmartCardProvider = L"Microsoft Base Smart Card Crypto Provider";
constexpr std::wstring_view kKeyStorageProvider = L"Microsoft Smart Card Key Storage Provider";
constexpr std::wstring_view kMarkStart = L"Tessard; token ";
constexpr std::wstring_view kKeyField = L"; key ";
constexpr std::wstring_view kProviderField = L"; provider ";

bool Contains(std::wstring_view text, std::wstring_view part) { return text.find(part) != std::wstring_view::npos; }

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

// The bare container or the whole path: a mere substring of the path would let a short name
// hit another program's entry.
bool NamesContainer(const KeyProviderEntry& entry, const Registration& registration) {
  return !entry.containerName.empty() && (entry.containerName == registration.keyProvider.containerName ||
                                          entry.containerName == registration.owner.containerPath);
}

}  // namespace

std::optional<std::wstring> BuildContainerPath(std::wstring_view readerName, std::wstring_view containerName) {
  std::wstring path = L"\\\\.\\";
  path.append(readerName);
  path.push_back(L'\\');
  path.append(containerName);
  if (path.size() >= kMaxPath) return std::nullopt;
  return path;
}

std::wstring OwnershipMark(const Ownership& owner) {
  std::wstring mark(kMarkStart);
  mark.append(owner.serialNumber).append(kKeyField).append(owner.containerPath);
  return mark.append(kProviderField).append(owner.providerName);
}

// A serial number (16 characters) never holds "; key ", nor a provider's name "; provider ": the
// fields are cut at the first and the last of them.
std::optional<Ownership> ReadOwnershipMark(std::wstring_view description) {
  if (!description.starts_with(kMarkStart)) return std::nullopt;
  description.remove_prefix(kMarkStart.size());
  const size_t key = description.find(kKeyField);
  const size_t provider = description.rfind(kProviderField);
  if (key == std::wstring_view::npos || provider == std::wstring_view::npos || provider < key) return std::nullopt;
  Ownership owner;
  owner.serialNumber = description.substr(0, key);
  owner.containerPath = description.substr(key + kKeyField.size(), provider - key - kKeyField.size());
  owner.providerName = description.substr(provider + kProviderField.size());
  return owner;
}

bool WrittenBy(const PersonalEntry& entry, const Registration& registration) {
  return entry.description == OwnershipMark(registration.owner) && entry.keyProvider == registration.keyProvider;
}

bool MadeBySystemForKey(const KeyProviderEntry& entry, const Registration& registration) {
  return Contains(registration.keyProvider.providerName, kBaseSmartCardProvider) &&
         Contains(entry.providerName, kKeyStorageProvider) && NamesContainer(entry, registration);
}

bool MarkedAsWritten(const PersonalEntry& entry) {
  if (!entry.description || !entry.keyProvider) return false;
  const std::optional<Ownership> owner = ReadOwnershipMark(*entry.description);
  const KeyProviderEntry& written = *entry.keyProvider;
  return owner && !written.containerName.empty() && written.providerName == owner->providerName &&
         owner->containerPath.ends_with(L"\\" + written.containerName);
}

bool LeftByEarlierVersion(const PersonalEntry& entry, std::wstring_view productProvider) {
  const bool marked = entry.description && ReadOwnershipMark(*entry.description);
  return !marked && entry.keyProvider && EqualIgnoringCase(entry.keyProvider->providerName, productProvider);
}

}  // namespace tessard
