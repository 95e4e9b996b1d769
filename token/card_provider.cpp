#include "token/card_provider.h"

#include <cstring>

#include "platform/registry.h"
#include "token/atr_match.h"

namespace tessard {
namespace {

constexpr DWORD kValueBufferSize = 260;
constexpr DWORD kMaxKeyName = 260;
constexpr DWORD kReaderQueryTimeoutMs = 1000;

// A value read into a zero-filled 260-byte buffer, cut to the length the registry gave.
std::optional<std::vector<std::uint8_t>> ReadValueBytes(HKEY key, const wchar_t* name) {
  std::vector<std::uint8_t> buffer(kValueBufferSize, 0);
  DWORD size = kValueBufferSize;
  if (::RegQueryValueExW(key, name, nullptr, nullptr, buffer.data(), &size) != ERROR_SUCCESS) return std::nullopt;
  buffer.resize(size);
  return buffer;
}

std::optional<std::wstring> ReadProviderName(HKEY cardType, const wchar_t* providerValue) {
  const auto bytes = ReadValueBytes(cardType, providerValue);
  if (!bytes) return std::nullopt;
  std::wstring name(bytes->size() / sizeof(wchar_t), L'\0');
  std::memcpy(name.data(), bytes->data(), name.size() * sizeof(wchar_t));
  name.resize(std::wcslen(name.c_str()));
  return name;
}

bool CardTypeMatches(HKEY cardType, std::span<const std::uint8_t> cardAtr) {
  const auto stored = ReadValueBytes(cardType, L"ATR");
  if (!stored || stored->size() != cardAtr.size()) return false;
  const auto mask = ReadValueBytes(cardType, L"ATRMask");
  return mask && MatchAtr(*stored, cardAtr, *mask);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadCardAtr(const std::wstring& readerName) {
  UniqueSmartCardContext context;
  if (::SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, context.put()) != SCARD_S_SUCCESS) {
    context.release();
    return std::nullopt;
  }
  SCARD_READERSTATEW state{};
  state.szReader = readerName.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  const LONG status = ::SCardGetStatusChangeW(context.get(), kReaderQueryTimeoutMs, &state, 1);
  context.reset();
  if (status != SCARD_S_SUCCESS || state.cbAtr > sizeof state.rgbAtr) return std::nullopt;
  return std::vector<std::uint8_t>(state.rgbAtr, state.rgbAtr + state.cbAtr);
}

std::optional<std::wstring> FindCardProvider(std::span<const std::uint8_t> cardAtr, const wchar_t* databasePath,
                                             const wchar_t* providerValue) {
  const UniqueRegKey database =
      OpenRegistryKey(HKEY_LOCAL_MACHINE, databasePath, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
  if (!database) return std::nullopt;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxKeyName] = {};
    DWORD nameLength = kMaxKeyName;
    const LONG enumerated =
        ::RegEnumKeyExW(database.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    // Past the last card type the name stays empty and the path names the database itself,
    // whose missing "ATR" lets the enumeration status end the search below.
    const std::wstring path = std::wstring(databasePath) + L"\\" + name;
    const UniqueRegKey cardType = OpenRegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE);
    if (!cardType) return std::nullopt;
    if (CardTypeMatches(cardType.get(), cardAtr)) return ReadProviderName(cardType.get(), providerValue);
    if (enumerated != ERROR_SUCCESS) return std::nullopt;
  }
}

std::optional<std::wstring> LookupCardProvider(const std::wstring& readerName, const wchar_t* providerValue) {
  const auto atr = ReadCardAtr(readerName);
  if (!atr) return std::nullopt;
  return FindCardProvider(*atr, kSmartCardDatabase, providerValue);
}

}  // namespace tessard
