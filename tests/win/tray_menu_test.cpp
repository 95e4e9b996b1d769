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

struct StoredValue {
  DWORD type = REG_NONE;
  DWORD size = 0;
  BYTE data[64] = {};
};

StoredValue Stored(const wchar_t* name) {
  StoredValue value;
  value.size = sizeof value.data;
  ::RegGetValueW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                 value.data, &value.size);
  return value;
}

DWORD StoredNumber(const wchar_t* name) { return *reinterpret_cast<const DWORD*>(Stored(name).data); }

using TrayMenu = MainDialogTest;

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
  EXPECT_EQ(StoreTrayChoice(CommandVietnamese), kLanguageSwitched);
  const StoredValue language = Stored(L"InstallLanguageId");
  EXPECT_EQ(language.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(language.size, 10u);
  EXPECT_EQ(key.Text(L"InstallLanguageId"), L"1066");
  EXPECT_EQ(StoreTrayChoice(CommandEnglish), kLanguageSwitched);
  EXPECT_EQ(key.Text(L"InstallLanguageId"), L"1033");

  EXPECT_EQ(StoreTrayChoice(CommandNonCache), kCacheSwitched);
  const StoredValue nonCache = Stored(L"NonCache");
  EXPECT_EQ(nonCache.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(nonCache.size, 4u);
  EXPECT_EQ(StoredNumber(L"NonCache"), 1u);
  EXPECT_EQ(StoreTrayChoice(CommandCache), kCacheSwitched);
  EXPECT_EQ(StoredNumber(L"NonCache"), 0u);
  EXPECT_EQ(StoreTrayChoice(0), std::nullopt) << "a dismissed menu";
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
  EXPECT_EQ(StoredNumber(L"NonCache"), 0u);
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
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
  token_.answers.hasTokens = true;
  Start();
  notifications.clear();
  choices = {CommandVietnamese};
  ::SendMessageW(dialog_->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
  EXPECT_EQ(menus.size(), 1u);
  EXPECT_TRUE(notifications.empty());
  EXPECT_EQ(Stored(L"InstallLanguageId").type, static_cast<DWORD>(REG_NONE));
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
