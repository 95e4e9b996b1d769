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

void TraceRefusedWrite(const wchar_t* name, LSTATUS status) {
  Trace(std::wstring(L"the registry value ") + name + L" could not be written: " + HexCode(static_cast<DWORD>(status)));
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

UniqueRegKey OpenWritableKey(HKEY root, const wchar_t* path, bool create, LSTATUS& status) {
  UniqueRegKey key;
  status = OpenKeyForWriting(root, path, create, key.put());
  if (status != ERROR_SUCCESS) {
    key.release();
    if (status != ERROR_FILE_NOT_FOUND) {
      Trace(std::wstring(L"the registry key ") + path + L" cannot be written: " + HexCode(static_cast<DWORD>(status)));
    }
  }
  return key;
}

LSTATUS WriteRegistryText(HKEY key, const wchar_t* name, const std::wstring& text) {
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  const LSTATUS status = SetRegistryValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  if (status != ERROR_SUCCESS) TraceRefusedWrite(name, status);
  return status;
}

LSTATUS WriteRegistryNumber(HKEY key, const wchar_t* name, DWORD number) {
  const LSTATUS status = SetRegistryValue(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  if (status != ERROR_SUCCESS) TraceRefusedWrite(name, status);
  return status;
}

bool WriteRegistryText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text) {
  LSTATUS status = ERROR_SUCCESS;
  const UniqueRegKey key = OpenWritableKey(root, path, true, status);
  return key && WriteRegistryText(key.get(), name, text) == ERROR_SUCCESS;
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
