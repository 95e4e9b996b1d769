#pragma once
// Which "MY" entries are Tessard's to take out, decided over plain values so that the rules
// are tested without a certificate store. Every entry Tessard writes carries a mark of
// ownership in its description (what certmgr shows, so that a support person sees where it
// came from): the token's serial number, the container path of the key and the provider. An
// entry is taken out only while its mark and its key-provider information are still as
// Tessard wrote them; whatever another program made or changed stays.

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
  bool operator==(const KeyProviderEntry&) const = default;
};

// Whose an entry is, as its mark says.
struct Ownership {
  std::wstring serialNumber;  // the token's, without its padding
  std::wstring containerPath;
  std::wstring providerName;
  bool operator==(const Ownership&) const = default;
};

// "Tessard; token <serial>; key <container path>; provider <provider>".
std::wstring OwnershipMark(const Ownership& owner);
// None when the text is no mark of Tessard's.
std::optional<Ownership> ReadOwnershipMark(std::wstring_view description);

// One "MY" entry as removal sees it.
struct PersonalEntry {
  std::optional<std::wstring> description;
  std::optional<KeyProviderEntry> keyProvider;
};

// What registering one certificate wrote into its "MY" entry.
struct Registration {
  Ownership owner;
  KeyProviderEntry keyProvider;
};

// The entry is still as this registration wrote it.
bool WrittenBy(const PersonalEntry& entry, const Registration& registration);

// An entry the system's smart-card key storage provider made for the registration's container
// while the base smart-card provider serves the token: it points at the token's own key.
bool MadeBySystemForKey(const KeyProviderEntry& entry, const Registration& registration);

// An entry Tessard marked, with the key-provider information its mark names: what a purge
// takes out, whichever token it came from.
bool MarkedAsWritten(const PersonalEntry& entry);

// What versions before the mark left: an unmarked entry of the product's own provider.
bool LeftByEarlierVersion(const PersonalEntry& entry, std::wstring_view productProvider);

}  // namespace tessard
