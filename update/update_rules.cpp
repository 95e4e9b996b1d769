#include "update/update_rules.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cwctype>

namespace tessard {

namespace {

constexpr std::string_view kWarnDaysKey = "ID01=";
constexpr std::string_view kPageKey = "ID02=";
constexpr std::string_view kEndKey = "ID03=";

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The value after the key at `at`, up to its line end or the next key, whichever comes first.
std::string_view ValueAt(std::string_view text, size_t at, std::string_view key, size_t nextKey) {
  const size_t start = at + key.size();
  size_t end = std::min(text.find('\n', start), text.size());
  if (nextKey != std::string_view::npos && nextKey > start) end = std::min(end, nextKey);
  std::string_view value = text.substr(start, end - start);
  if (!value.empty() && value.back() == '\r') value.remove_suffix(1);
  return value;
}

std::string_view TrimSpaces(std::string_view value) {
  const size_t first = value.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

// As atol: blanks, a sign and the digits after them; what follows is ignored. Beyond the
// range of an int it stays at its end.
long long LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min<long long>(magnitude * 10 + (text[i] - '0'), INT_MAX);
  }
  return negative ? -magnitude : magnitude;
}

// Longer parts are no version number anyone writes; shorter keeps the reading within 64 bits.
constexpr size_t kLongestVersionPart = 10;

// Missing trailing parts count as 0.
int CompareParts(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const std::uint32_t x = i < a.size() ? a[i] : 0;
    const std::uint32_t y = i < b.size() ? b[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
}

}  // namespace

UpdateConfig ParseUpdateConfig(std::string_view text) {
  UpdateConfig config;
  const size_t daysAt = text.find(kWarnDaysKey);
  const size_t pageAt = text.find(kPageKey);
  if (daysAt == std::string_view::npos || pageAt == std::string_view::npos) return config;
  const std::string_view days = TrimSpaces(ValueAt(text, daysAt, kWarnDaysKey, pageAt));
  if (days.empty()) return config;
  const long long number = LeadingNumber(days);
  if (number > 0) config.warnDays = static_cast<int>(number);
  const std::string_view page = TrimSpaces(ValueAt(text, pageAt, kPageKey, text.find(kEndKey)));
  if (!page.empty()) config.pageAddress = std::string(page);
  return config;
}

std::optional<std::vector<std::uint32_t>> ParseVersion(std::string_view text) {
  std::vector<std::uint32_t> parts;
  for (;;) {
    const size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    if (part.empty() || part.size() > kLongestVersionPart) return std::nullopt;
    std::uint64_t number = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (number > UINT32_MAX) return std::nullopt;
    parts.push_back(static_cast<std::uint32_t>(number));
    if (dot == std::string_view::npos) return parts;
    text.remove_prefix(dot + 1);
  }
}

bool IsNewerVersion(std::string_view installed, std::string_view offered) {
  const auto offer = ParseVersion(offered);
  if (!offer) return false;
  const auto current = ParseVersion(installed);
  return !current || CompareParts(*current, *offer) < 0;
}

bool IsSameVersion(std::string_view a, std::string_view b) {
  const auto first = ParseVersion(a);
  const auto second = ParseVersion(b);
  return first && second && CompareParts(*first, *second) == 0;
}

InstallerVerdict JudgeInstaller(const InstallerFacts& facts, std::span<const std::string_view> pins,
                                std::string_view offeredVersion) {
  if (!facts.signatureAccepted) return InstallerVerdict::SignatureRefused;
  const bool pinned = !facts.signerKeyHash.empty() && std::any_of(pins.begin(), pins.end(), [&](std::string_view pin) {
    return EqualIgnoringCase(pin, facts.signerKeyHash);
  });
  if (!pinned) return InstallerVerdict::KeyNotPinned;
  if (!facts.rootInMachineStore) return InstallerVerdict::RootNotTheMachines;
  if (!facts.version || !IsSameVersion(*facts.version, offeredVersion)) return InstallerVerdict::NotTheOfferedVersion;
  return InstallerVerdict::Trusted;
}

bool IsWebAddress(std::wstring_view address) {
  for (std::wstring_view scheme : {L"http://", L"https://"}) {
    if (StartsWithIgnoringCase(address, scheme) && address.size() > scheme.size()) return true;
  }
  return false;
}

bool IsHttpsAddress(std::wstring_view address) {
  constexpr std::wstring_view kScheme = L"https://";
  return StartsWithIgnoringCase(address, kScheme) && address.size() > kScheme.size();
}

bool IsUsableUpdateFolder(std::wstring_view address) { return IsHttpsAddress(address) && address.back() == L'/'; }

}  // namespace tessard
