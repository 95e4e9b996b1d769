#include "platform/registry.h"

#include <utility>

#include "platform/system_calls.h"
#include "platform/trace.h"

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

namespace {

constexpr DWORD kTextCapacity = 260;

// The value's type and size without its data; none when it is missing.
std::optional<std::pair<DWORD, DWORD>> TypeAndSize(HKEY key, const wchar_t* name) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  return std::pair{type, size};
}

void TraceRefused(const wchar_t* name, const wchar_t* wanted) {
  Trace(std::wstring(L"the registry value ") + name + L" is refused: it is not " + wanted);
}

}  // namespace

std::optional<std::wstring> ReadTypedText(HKEY key, const wchar_t* name) {
  const auto kind = TypeAndSize(key, name);
  if (!kind) return std::nullopt;
  if (kind->first != REG_SZ || kind->second > kTextCapacity * sizeof(wchar_t)) {
    TraceRefused(name, L"text (REG_SZ) of at most 259 characters");
    return std::nullopt;
  }
  return ReadRegistryText(key, name);
}

std::optional<DWORD> ReadTypedNumber(HKEY key, const wchar_t* name) {
  const auto kind = TypeAndSize(key, name);
  if (!kind) return std::nullopt;
  if (kind->first != REG_DWORD || kind->second != sizeof(DWORD)) {
    TraceRefused(name, L"a number (REG_DWORD)");
    return std::nullopt;
  }
  return ReadRegistryDword(key, name);
}

UniqueRegKey CreateRegistryKey(HKEY root, const wchar_t* path, LSTATUS& status) {
  UniqueRegKey key;
  status = CreateKeyForWriting(root, path, key.put());
  if (status != ERROR_SUCCESS) key.release();
  return key;
}

bool WriteRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueRegKey key = CreateRegistryKey(root, path, status);
  if (!key) return false;
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return SetRegistryValue(key.get(), name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
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
