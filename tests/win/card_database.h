#pragma once
// Card types written into a smart-card database under HKEY_LOCAL_MACHINE of the test prefix.

#include <cstdint>
#include <string>
#include <vector>

namespace tessard::testing {

// The card type `name` under HKLM\databasePath; without a provider it has no
// "Crypto Provider" value.
void AddCardType(const std::wstring& databasePath, const std::wstring& name, const std::vector<std::uint8_t>& atr,
                 const std::vector<std::uint8_t>& mask, const wchar_t* provider);

}  // namespace tessard::testing
