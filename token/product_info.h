#pragma once
// The constant description of the product's pieces, compiled in. Fixed-width,
// NUL-terminated UTF-16 fields, in the order of the record.

#include <cstdint>

namespace tessard {

struct ProductInfo {
  wchar_t providerName[260];
  wchar_t moduleFileName[260];
  struct ModuleDescription {
    uint16_t version;
    wchar_t description[63];
    wchar_t vendorAddress[63];
    wchar_t vendorHost[41];
  } module;
  wchar_t tokenLabel[33];
  wchar_t secondTokenLabel[18];
  int32_t parameters[8];
  wchar_t settingsKeyPath[260];
  wchar_t providerLanguageBase[260];
  wchar_t languageBase[260];
  wchar_t managerLanguageBase[260];
  wchar_t managerIniName[260];
  wchar_t managerExeName[260];
  wchar_t keyStorageProviderName[31];
};

static_assert(sizeof(ProductInfo::ModuleDescription) == 168 * sizeof(wchar_t));

extern const ProductInfo kProductInfo;

// Under HKEY_CURRENT_USER: what the program keeps for the user (the chosen language, an
// update whose elevation was declined). The machine's settings key is for administrators.
inline constexpr wchar_t kUserKeyPath[] = L"Software\\Tessard";

// The last component of the settings key path: the program's default caption.
const wchar_t* SettingsKeyLeaf();

}  // namespace tessard
