// Feeds arbitrary server answers to the update agent's text decisions: Config.ini as the
// agent reads it (up to the first zero byte, at most 1024 bytes), a version pair split at the
// first line feed (ordered as dotted numbers), and the bytes as UTF-16 addresses. None may crash, and what they return
// must hold to their rules.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "update/update_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view text = bytes.substr(0, std::min(bytes.find('\0'), tessard::kConfigReadLimit));
  const tessard::UpdateConfig config = tessard::ParseUpdateConfig(text);
  if (config.warnDays <= 0) std::abort();
  if (config.pageAddress) {
    const std::string& page = *config.pageAddress;
    if (page.empty() || page.front() == ' ' || page.back() == ' ' || page.find('\n') != std::string::npos) std::abort();
  }

  const size_t feed = bytes.find('\n');
  const std::string_view installed = bytes.substr(0, feed);
  const std::string_view offered = feed == std::string_view::npos ? std::string_view() : bytes.substr(feed + 1);
  if (tessard::IsNewerVersion(installed, offered) && tessard::IsNewerVersion(offered, installed)) std::abort();
  if (tessard::IsNewerVersion(installed, installed)) std::abort();
  // Numbers in order: newer one way means not the same, and the same means newer neither way.
  if (tessard::IsSameVersion(installed, offered) &&
      (tessard::IsNewerVersion(installed, offered) || !tessard::ParseVersion(installed))) {
    std::abort();
  }

  std::wstring address(size / sizeof(wchar_t), L'\0');
  if (!address.empty()) std::memcpy(address.data(), data, address.size() * sizeof(wchar_t));
  if (tessard::IsUsableUpdateFolder(address) && address.back() != L'/') std::abort();
  tessard::IsWebAddress(address);
  return 0;
}
