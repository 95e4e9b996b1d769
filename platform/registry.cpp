#include "platform/registry.h"

namespace tessard {

UniqueRegKey OpenRegistryKey(HKEY root, const wchar_t* path, REGSAM access) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(root, path, 0, access, key.put()) != ERROR_SUCCESS) key.release();
  return key;
}

std::optional<RegistryText> QueryRegistryText(HKEY key, const wchar_t* name) {
  // 260 characters as the registry sees it, one more so that a value stored without its
  // terminator still ends.
  wchar_t buffer[261] = {};
  DWORD size = 260 * sizeof(wchar_t);
  if (::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return RegistryText{std::wstring(buffer), size};
}

std::optional<std::wstring> ReadRegistryText(HKEY key, const wchar_t* name) {
  std::optional<RegistryText> value = QueryRegistryText(key, name);
  if (!value) return std::nullopt;
  return std::move(value->text);
}

std::optional<DWORD> ReadRegistryDword(HKEY key, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

}  // namespace tessard
