// The tray menu as built and stored, and the icon's clicks as the main dialog answers them.

#include "app/tray_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "localisation/lang.h"
#include "platform/registry.h"
#include "tests/win/main_dialog_fixture.h"
#include "tests/win/test_key.h"
#include "token/product_info.h"

namespace tessard::testing {
namespace {

constexpr wchar_t kLanguageSwitched[] =
    L"Switch the language successfully!You need to restart your computer to complete this operation.";
constexpr wchar_t kCacheSwitched[] =
    L"Switch the Cache option successfully!You need to restart your computer to complete this operation.";

struct Write {
  std::wstring name;
  DWORD type;
  std::vector<BYTE> data;
  bool operator==(const Write&) const = default;
};
std::vector<Write> writes;
LSTATUS writeAnswer = ERROR_SUCCESS;

// What Windows answers a standard user under HKEY_LOCAL_MACHINE: the key cannot be opened for
// writing, or the machine's value cannot be written in it.
bool refuseMachineKey = false;
bool refuseMachineWrites = false;

LSTATUS OpenAsAStandardUser(HKEY root, const wchar_t* path, bool create, HKEY* key) {
  if (root == HKEY_LOCAL_MACHINE && refuseMachineKey) return ERROR_ACCESS_DENIED;
  return create ? ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key, nullptr)
                : ::RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, key);
}

// Records each write as the program hands it over, and makes it unless told to fail it.
LSTATUS RecordWrite(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes) {
  writes.push_back({name, type, std::vector<BYTE>(data, data + bytes)});
  if (refuseMachineWrites && std::wstring_view(name) == L"NonCache") return ERROR_ACCESS_DENIED;
  return writeAnswer == ERROR_SUCCESS ? ::RegSetValueExW(key, name, 0, type, data, bytes) : writeAnswer;
}

std::optional<std::wstring> UsersLanguage() {
  const UniqueRegKey key = OpenRegistryKey(HKEY_CURRENT_USER, kUserKeyPath, KEY_QUERY_VALUE);
  return key ? ReadRegistryText(key.get(), L"LanguageId") : std::nullopt;
}

Write Text(const wchar_t* name, const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return {name, REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

Write Number(const wchar_t* name, BYTE number) { return {name, REG_DWORD, {number, 0, 0, 0}}; }

class TrayMenu : public MainDialogTest {
 protected:
  void SetUp() override {
    MainDialogTest::SetUp();
    writes.clear();
    writeAnswer = ERROR_SUCCESS;
    refuseMachineKey = refuseMachineWrites = false;
  }
  void TearDown() override {
    MainDialogTest::TearDown();
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserKeyPath, L"LanguageId");
  }

  const decltype(SetRegistryValue)::Replacement write_ = SetRegistryValue.Replace(&RecordWrite);
  const decltype(OpenKeyForWriting)::Replacement open_ = OpenKeyForWriting.Replace(&OpenAsAStandardUser);
};

// The menu shows the items as their rule gives them, each in its language.
TEST_F(TrayMenu, TheMenuShowsItsItemsInForceDisabled) {
  TestKey key(kProductInfo.settingsKeyPath);
  choices = {CommandCache};
  EXPECT_EQ(TrackTrayMenu(nullptr, 1066, true), static_cast<UINT>(CommandCache));
  ASSERT_EQ(menus.size(), 1u);
  std::vector<MenuItem> expected;
  for (const TrayMenuItem& item : TrayMenuItems(1066, true)) {
    expected.push_back({item.command, LangGetString(item.text), item.disabled});
  }
  EXPECT_EQ(menus[0], expected);
}

TEST_F(TrayMenu, EachChoiceWritesItsValueWithItsTypeAndSize) {
  TestKey key(kProductInfo.settingsKeyPath);
  EXPECT_EQ(StoreTrayChoice(CommandEnglish), kLanguageSwitched);
  EXPECT_EQ(StoreTrayChoice(CommandVietnamese), kLanguageSwitched);
  EXPECT_EQ(StoreTrayChoice(CommandNonCache), kCacheSwitched);
  EXPECT_EQ(StoreTrayChoice(CommandCache), kCacheSwitched);
  EXPECT_EQ(StoreTrayChoice(0), std::nullopt) << "a dismissed menu";
  EXPECT_EQ(writes, (std::vector<Write>{Text(L"LanguageId", L"1033"), Text(L"LanguageId", L"1066"),
                                        Number(L"NonCache", 1), Number(L"NonCache", 0)}));
  EXPECT_EQ(UsersLanguage(), L"1066") << "the user's own";
  EXPECT_EQ(key.Text(L"InstallLanguageId"), L"") << "the machine's default stays";

  writeAnswer = ERROR_ACCESS_DENIED;
  EXPECT_EQ(StoreTrayChoice(CommandEnglish), L"Switch the language failure");
  EXPECT_EQ(StoreTrayChoice(CommandCache), L"Change Cache option failed");
}

TEST_F(TrayMenu, TheMenuKeepsItsStartUpStateAndResultsShowForFiveSeconds) {
  TestKey key(kProductInfo.settingsKeyPath);
  key.SetText(L"InstallLanguageId", L"1066");
  key.SetNumber(L"NonCache", 1);
  token_.answers.hasTokens = true;
  Start();
  notifications.clear();
  choices = {CommandCache, CommandCache};
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
  EXPECT_EQ(writes, (std::vector<Write>{Number(L"NonCache", 0), Number(L"NonCache", 0)}));
  ASSERT_EQ(menus.size(), 2u);
  EXPECT_EQ(menus[1], menus[0]) << "the menu of the second click shows the start-up state";
  EXPECT_FALSE(menus[1][3].disabled) << "Cache is chosen again";
  EXPECT_TRUE(menus[1][1].disabled) << "Vietnamese is in force";
  ASSERT_EQ(notifications.size(), 4u);
  EXPECT_EQ(notifications[1].info, kCacheSwitched);
  EXPECT_EQ(notifications[1].data.uTimeout, 5000u);
  EXPECT_EQ(notifications[3].info, kCacheSwitched);
}

// As Windows treats a standard user: the machine's key cannot be opened for writing, or a value
// cannot be written in it. The language is the user's own, taken at the next start; the cache
// option is the machine's and is not offered; nothing is written under HKEY_LOCAL_MACHINE.
TEST_F(TrayMenu, AStandardUserChoosesTheLanguageAndNeverWritesTheMachinesKey) {
  TestKey key(kProductInfo.settingsKeyPath);
  key.SetText(L"InstallLanguageId", L"1033");
  for (bool keyRefused : {true, false}) {
    SCOPED_TRACE(keyRefused ? "the key refused" : "the write refused");
    refuseMachineKey = keyRefused;
    refuseMachineWrites = !keyRefused;
    writes.clear();
    menus.clear();
    choices = {CommandVietnamese};
    EXPECT_EQ(StoreTrayChoice(TrackTrayMenu(nullptr, 1033, false)), kLanguageSwitched);
    EXPECT_EQ(LanguageIdOf(ReadSettings()), 1066) << "not taken at the next start";
    if (keyRefused) {
      ASSERT_EQ(menus.size(), 1u);
      EXPECT_TRUE(menus[0][2].disabled && menus[0][3].disabled) << "the cache option is offered";
    }
    EXPECT_NE(StoreTrayChoice(CommandNonCache), kCacheSwitched);
    const auto machineWrites =
        std::count_if(writes.begin(), writes.end(), [](const Write& w) { return w.name != L"LanguageId"; });
    EXPECT_EQ(machineWrites, keyRefused ? 0 : 1) << "only the write Windows refuses is tried";
    EXPECT_EQ(key.Text(L"InstallLanguageId"), L"1033");
  }
}

// Without the settings key the cache option is not offered, and its choice shows nothing.
TEST_F(TrayMenu, WithoutTheSettingsKeyTheCacheChoiceShowsNothing) {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath);
  token_.answers.hasTokens = true;
  Start();
  notifications.clear();
  choices = {CommandNonCache};
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
  ASSERT_EQ(menus.size(), 1u);
  EXPECT_TRUE(menus[0][2].disabled);
  EXPECT_TRUE(notifications.empty());
  EXPECT_TRUE(writes.empty());
}

TEST_F(TrayMenu, ADoubleClickOnTheIconStartsTheManager) {
  TestKey key(kProductInfo.settingsKeyPath);
  key.SetText(L"Path", L"C:\\Token");
  Start();
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId + 1, WM_LBUTTONDBLCLK);
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDOWN);
  EXPECT_TRUE(opened.empty()) << "another icon, another click";
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
  EXPECT_EQ(opened, (std::vector<std::wstring>{L"C:\\Token\\orvane-ca_mgr.exe"}));
}

}  // namespace
}  // namespace tessard::testing
