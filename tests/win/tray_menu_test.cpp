// The tray menu as built and stored, and the icon's clicks as the main dialog answers them.

#include "app/tray_menu.h"

#include <gtest/gtest.h>

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

// Records each write as the program hands it over, and makes it unless told to fail it.
LSTATUS RecordWrite(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes) {
  writes.push_back({name, type, std::vector<BYTE>(data, data + bytes)});
  return writeAnswer == ERROR_SUCCESS ? ::RegSetValueExW(key, name, 0, type, data, bytes) : writeAnswer;
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
  }

  const decltype(SetRegistryValue)::Replacement write_ = SetRegistryValue.Replace(&RecordWrite);
};

TEST_F(TrayMenu, FourItemsInOrderTheSettingsInForceDisabled) {
  choices = {CommandCache};
  EXPECT_EQ(TrackTrayMenu(nullptr, 1066, true), static_cast<UINT>(CommandCache));
  ASSERT_EQ(menus.size(), 1u);
  EXPECT_EQ(menus[0], (std::vector<MenuItem>{{30001, L"English", false},
                                             {30002, L"Vietnamese", true},
                                             {30004, L"NonCache", true},
                                             {30003, L"Cache", false}}));
}

TEST_F(TrayMenu, EachChoiceWritesItsValueWithItsTypeAndSize) {
  TestKey key(kProductInfo.settingsKeyPath);
  EXPECT_EQ(StoreTrayChoice(CommandEnglish), kLanguageSwitched);
  EXPECT_EQ(StoreTrayChoice(CommandVietnamese), kLanguageSwitched);
  EXPECT_EQ(StoreTrayChoice(CommandNonCache), kCacheSwitched);
  EXPECT_EQ(StoreTrayChoice(CommandCache), kCacheSwitched);
  EXPECT_EQ(StoreTrayChoice(0), std::nullopt) << "a dismissed menu";
  EXPECT_EQ(writes, (std::vector<Write>{Text(L"InstallLanguageId", L"1033"), Text(L"InstallLanguageId", L"1066"),
                                        Number(L"NonCache", 1), Number(L"NonCache", 0)}));
  EXPECT_EQ(key.Text(L"InstallLanguageId"), L"1066");

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

TEST_F(TrayMenu, WithoutTheSettingsKeyAChoiceShowsNothing) {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath);
  token_.answers.hasTokens = true;
  Start();
  notifications.clear();
  choices = {CommandVietnamese};
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
  EXPECT_EQ(menus.size(), 1u);
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
