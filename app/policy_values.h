#pragma once
// The values an administrator sets by Group Policy, under the key below in HKEY_LOCAL_MACHINE:
// read before the settings key, and named alike by the administrative template
// (packaging/tessard.admx). This is the one list of them. Free of <windows.h>.

#include <array>
#include <string_view>

namespace tessard {

// One key for the 32- and the 64-bit views: Windows shares Software\Policies between them.
inline constexpr wchar_t kPolicyKeyPath[] = L"Software\\Policies\\Tessard";

enum class PolicyType { Text, Number };  // REG_SZ, REG_DWORD

struct PolicyValue {
  std::wstring_view name;
  PolicyType type;
};

inline constexpr wchar_t kPolicyUpdateUrl[] = L"UpdateUrl";            // an https folder ending in "/"
inline constexpr wchar_t kPolicyInstallUpdates[] = L"InstallUpdates";  // 0: never fetch or run an installer
inline constexpr wchar_t kPolicyKeyProvider[] = L"KeyProvider";        // "CSP" or "KSP"
inline constexpr wchar_t kPolicyLanguageId[] = L"LanguageId";          // "1033" or "1066"

inline constexpr std::array kPolicyValues = {
    PolicyValue{kPolicyUpdateUrl, PolicyType::Text},
    PolicyValue{kPolicyInstallUpdates, PolicyType::Number},
    PolicyValue{kPolicyKeyProvider, PolicyType::Text},
    PolicyValue{kPolicyLanguageId, PolicyType::Text},
};

}  // namespace tessard
