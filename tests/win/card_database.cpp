#include "tests/win/card_database.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>

#include "platform/handles.h"

namespace tessard::testing {

void AddCardType(const std::wstring& databasePath, const std::wstring& name, const std::vector<std::uint8_t>& atr,
                 const std::vector<std::uint8_t>& mask, const wchar_t* provider) {
  UniqueRegKey key;
  const std::wstring path = databasePath + L"\\" + name;
  ASSERT_EQ(
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
      ERROR_SUCCESS);
  ::RegSetValueExW(key.get(), L"ATR", 0, REG_BINARY, atr.data(), static_cast<DWORD>(atr.size()));
  ::RegSetValueExW(key.get(), L"ATRMask", 0, REG_BINARY, mask.data(), static_cast<DWORD>(mask.size()));
  if (provider) {
    ::RegSetValueExW(key.get(), L"Crypto Provider", 0, REG_SZ, reinterpret_cast<const BYTE*>(provider),
                     static_cast<DWORD>((std::wcslen(provider) + 1) * sizeof(wchar_t)));
  }
}

}  // namespace tessard::testing
