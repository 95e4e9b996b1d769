#include "token/product_info.h"

#include <cwchar>

namespace tessard {

const ProductInfo kProductInfo = {
    L"Orvane-CA CSP V3.0",
    L"Orvane-CAv3.dll",
    {1, L"Orvane-CA Token PKCS#11 Module V3.0", L"http://www.orvane-ca.example", L"orvane-ca.example"},
    L"Orvane-CA Token",
    L"Wrenkey-Z10",
    {6, 8, 6, 8, 0, 0, 1, 0x6404},
    L"Software\\Orvane Certificate Authority\\Orvane-CA Token Manager V3.0",
    L"lang\\zxcsp",
    L"lang\\zxtokd",
    L"lang\\zxmgr",
    L"Zephkey.ini",
    L"orvane-ca_mgr.exe",
    L"Orvane-CA Key Storage Provider",
};

const wchar_t* SettingsKeyLeaf() {
  const wchar_t* slash = std::wcsrchr(kProductInfo.settingsKeyPath, L'\\');
  return slash != nullptr ? slash + 1 : kProductInfo.settingsKeyPath;
}

}  // namespace tessard
