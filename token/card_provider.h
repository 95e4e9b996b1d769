#pragma once
// Finds the cryptographic provider of the card in a reader: its ATR from the smart-card
// resource manager, matched against the card types of the smart-card database. The card is
// the same for all of a token's certificates, so this runs once per token read.

#include <windows.h>
// After <windows.h>, which it needs.
#include <winscard.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/unique_resource.h"

namespace tessard {

using UniqueSmartCardContext = UniqueResource<SCARDCONTEXT, &::SCardReleaseContext>;

inline constexpr wchar_t kSmartCardDatabase[] = L"SOFTWARE\\Microsoft\\Cryptography\\Calais\\SmartCards";
// A card type's cryptographic service provider, and its key storage provider.
inline constexpr wchar_t kCryptoProviderValue[] = L"Crypto Provider";
inline constexpr wchar_t kKeyStorageProviderValue[] = L"Smart Card Key Storage Provider";

// The ATR the resource manager reports for the reader within one second.
std::optional<std::vector<std::uint8_t>> ReadCardAtr(const std::wstring& readerName);

// The provider (of the kind `providerValue` names) of the card in the reader, from the
// database; none when the reader or the card type is unknown.
std::optional<std::wstring> LookupCardProvider(const std::wstring& readerName, const wchar_t* providerValue);

// The provider value of the first card type under HKLM\databasePath whose ATR and mask
// match. A matching type without that value, or a card type that cannot be opened, ends the
// search with nothing.
std::optional<std::wstring> FindCardProvider(std::span<const std::uint8_t> cardAtr,
                                             const wchar_t* databasePath = kSmartCardDatabase,
                                             const wchar_t* providerValue = kCryptoProviderValue);

}  // namespace tessard
