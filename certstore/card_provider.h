#pragma once
// Finds the cryptographic provider of the card in a reader: its ATR from the smart-card
// resource manager, matched against the card types of the smart-card database.

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

struct SmartCardContextTraits {
  using Type = SCARDCONTEXT;
  static Type Empty() { return 0; }
  static void Close(Type h) { ::SCardReleaseContext(h); }
};
using UniqueSmartCardContext = UniqueResource<SmartCardContextTraits>;

inline constexpr wchar_t kSmartCardDatabase[] = L"SOFTWARE\\Microsoft\\Cryptography\\Calais\\SmartCards";

// The ATR the resource manager reports for the reader within one second.
std::optional<std::vector<std::uint8_t>> ReadCardAtr(const std::wstring& readerName);

// The "Crypto Provider" of the first card type under HKLM\databasePath whose ATR and mask
// match. A matching type without a provider, or a card type that cannot be opened, ends
// the search with nothing.
std::optional<std::wstring> FindCardProvider(std::span<const std::uint8_t> cardAtr,
                                             const wchar_t* databasePath = kSmartCardDatabase);

}  // namespace tessard
