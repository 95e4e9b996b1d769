#include "localisation/lang.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/settings.h"
#include "localisation/language_platform_win32.h"
#include "platform/handles.h"
#include "tests/win/lang_test_resource.h"

namespace tessard {
namespace {

std::wstring TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  return std::wstring(name.begin(), name.end());
}

// A folder of its own for each test, so that tests can run side by side; removed after.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"tessard-lang-" + TestName();
    ::CreateDirectoryW(path_.c_str(), nullptr);
    ::CreateDirectoryW((path_ + L"\\lang").c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::wstring& file : files_) ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW((path_ + L"\\lang").c_str());
    ::RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& Path() const { return path_; }
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    const std::wstring file = path_ + L"\\" + name;
    std::ofstream(file.c_str(), std::ios::binary) << bytes;
    files_.push_back(file);
    return file;
  }

 private:
  std::wstring path_;
  std::vector<std::wstring> files_;
};

const char kTranslations[] =
    "[settings]\r\nCodePage=1066\r\nLanguage=Test\r\n[strings]\r\n"
    "500=Localised caption\r\n1=Localised OK\r\n1001=Localised static\r\n1002=Localised group\r\n"
    "1003=Localised edit\r\n1004=Localised parent\r\n1005=Localised grandchild\r\n10000=Inserted\r\n";

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, 1024);
  return text;
}

class LocaliseWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.Write(L"lang\\test_1066.lng", kTranslations);
    LangSetFolder(folder.Path() + L"\\");
    LangSetBaseName(L"lang\\test");
    LangSetId(1066);
    dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LANG_TEST), nullptr,
                                  &LocaliseWindow::Procedure, 0);
    ASSERT_NE(dialog, nullptr);
    const HWND parent = ::GetDlgItem(dialog, IDC_LANG_PARENT);
    grandchild = ::CreateWindowExW(0, L"STATIC", L"Grandchild", WS_CHILD, 0, 0, 10, 10, parent,
                                   reinterpret_cast<HMENU>(IDC_LANG_GRANDCHILD), nullptr, nullptr);
    noId = ::CreateWindowExW(0, L"BUTTON", L"No id", WS_CHILD, 0, 0, 10, 10, dialog, nullptr, nullptr, nullptr);
    ASSERT_NE(grandchild, nullptr);
    ASSERT_NE(noId, nullptr);
  }
  void TearDown() override {
    if (::IsWindow(dialog)) ::DestroyWindow(dialog);
  }
  static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
  std::wstring Item(int id) const { return TextOf(::GetDlgItem(dialog, id)); }

  TempFolder folder;
  HWND dialog = nullptr;
  HWND grandchild = nullptr;
  HWND noId = nullptr;
};

TEST_F(LocaliseWindow, CaptionButtonsAndStaticsOnlyOfDirectChildren) {
  LangLocaliseWindow(dialog, IDD_LANG_TEST);
  EXPECT_EQ(TextOf(dialog), L"Localised caption");
  EXPECT_EQ(Item(IDOK), L"Localised OK");
  EXPECT_EQ(Item(IDC_LANG_STATIC), L"Localised static");
  EXPECT_EQ(Item(IDC_LANG_GROUP), L"Localised group");
  EXPECT_EQ(Item(IDC_LANG_PARENT), L"Localised parent");
  EXPECT_EQ(Item(IDC_LANG_EDIT), L"");
  EXPECT_EQ(TextOf(grandchild), L"Grandchild");
  EXPECT_EQ(TextOf(noId), L"No id");
  EXPECT_EQ(LangGetCodePage(), 1066);
}

TEST_F(LocaliseWindow, WithoutTranslationTextsStayButAreCutTo259Characters) {
  const std::wstring longText(300, L'x');
  ::SetWindowTextW(dialog, longText.c_str());
  ::SetDlgItemTextW(dialog, IDC_LANG_STATIC, longText.c_str());
  LangLocaliseWindow(dialog, 777);
  EXPECT_EQ(TextOf(dialog), std::wstring(259, L'x'));
  EXPECT_EQ(Item(IDC_LANG_STATIC), L"Localised static");
  ::SetDlgItemTextW(dialog, IDC_LANG_EDIT, longText.c_str());
  ::SetDlgItemTextW(dialog, IDC_LANG_GROUP, longText.c_str());
  LangSetBaseName(L"lang\\absent");
  LangLocaliseWindow(dialog, IDD_LANG_TEST);
  EXPECT_EQ(Item(IDC_LANG_GROUP), std::wstring(259, L'x'));
  EXPECT_EQ(Item(IDC_LANG_EDIT), longText);
  EXPECT_EQ(LangGetCodePage(), 1033);
}

TEST_F(LocaliseWindow, NullAndDestroyedWindowsLoadNothing) {
  LangLocaliseWindow(nullptr, IDD_LANG_TEST);
  ::DestroyWindow(dialog);
  LangLocaliseWindow(dialog, IDD_LANG_TEST);
  const zeph::MultiLanguage& store = zeph::MultiLanguage::Instance();
  EXPECT_FALSE(store.LoadAttempted());
  EXPECT_FALSE(store.Loaded());
  EXPECT_EQ(LangGetString(10000, L"english"), L"Inserted");
}

TEST(LanguagePlatform, ReadsWholeFilesAndRefusesMissingOnes) {
  TempFolder folder;
  Win32LanguagePlatform platform;
  const std::string bytes("\xFF\xFE[\0s\0]\0\r\0\n\0", 12);
  EXPECT_EQ(platform.ReadFile(folder.Write(L"utf16.lng", bytes)), bytes);
  EXPECT_EQ(platform.ReadFile(folder.Write(L"empty.lng", "")), std::string());
  EXPECT_EQ(platform.ReadFile(folder.Path() + L"\\absent.lng"), std::nullopt);
  EXPECT_EQ(platform.ReadFile(folder.Path()), std::nullopt);
  const std::wstring executable = platform.ExecutablePath();
  EXPECT_NE(executable.rfind(L"\\lang_tests.exe"), std::wstring::npos) << testing::PrintToString(executable);
}

TEST(LanguagePlatform, ShippedFilesLoadThroughTheSystemConverter) {
  Win32LanguagePlatform platform;
  zeph::MultiLanguage store(platform);
  const std::wstring executable = platform.ExecutablePath();
  store.SetFolder(executable.substr(0, executable.rfind(L'\\') + 1));
  store.SetBaseName(L"lang\\zxtokd");
  store.SetLanguageId(1066);
  EXPECT_EQ(zeph::LocalisedText(store, 10004, L"Certificate"), L"Ch\u1EE9ng th\u01B0 s\u1ED1");
  EXPECT_EQ(store.LanguageName(), L"Vietnamese");
  EXPECT_EQ(zeph::LocalisedText(store, 10005, L"Saving %s, please wait..."),
            L"\u0110ang l\u01B0u %s, vui l\u00F2ng \u0111\u1EE3i...");
  store.SetLanguageId(1033);
  EXPECT_EQ(zeph::LocalisedText(store, 10013, L"?"), L"Failed to low loevel initialize USBKey!");
  EXPECT_EQ(store.LanguageId(), 1033);
  EXPECT_FALSE(store.UseBuiltIn());
}

// The registry cases of the start-up configuration, each under a key of its own.
class LanguageSelection : public ::testing::Test {
 protected:
  void SetUp() override {
    keyPath = L"Software\\Tessard Tests\\" + TestName();
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    key.reset();
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str());
  }
  void SetText(const wchar_t* name, const std::wstring& value) {
    ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  const zeph::MultiLanguage& Store() const { return zeph::MultiLanguage::Instance(); }

  TempFolder folder;
  std::wstring keyPath;
  UniqueRegKey key;
};

TEST_F(LanguageSelection, PathWithOrWithoutBackslashLoadsTheChosenFile) {
  folder.Write(L"lang\\zxtokd_1066.lng", kTranslations);
  for (const std::wstring& path : {folder.Path(), folder.Path() + L"\\"}) {
    SetText(L"Path", path);
    SetText(L"InstallLanguageId", L"1066");
    LangSetId(1);
    LangInitialise(ReadSettings(keyPath.c_str()).language, L"lang\\zxtokd");
    EXPECT_EQ(Store().Folder(), folder.Path() + L"\\");
    EXPECT_EQ(Store().BaseName(), L"lang\\zxtokd");
    EXPECT_EQ(LangGetString(10000, L"english"), L"Inserted");
    EXPECT_EQ(LangGetCodePage(), 1066);
  }
}

TEST_F(LanguageSelection, LanguageNumberFromTheRegistryOrTheUser) {
  SetText(L"Path", folder.Path());
  const int user = static_cast<uint16_t>(::GetUserDefaultLangID());
  const std::pair<const wchar_t*, int> cases[] = {{L"0", user}, {L"abc", user}, {L"-5", -5}, {L" 9x", 9}};
  for (const auto& [text, number] : cases) {
    SetText(L"InstallLanguageId", text);
    LangSetId(12345);
    LangInitialise(ReadSettings(keyPath.c_str()).language, nullptr);
    EXPECT_EQ(Store().LanguageId(), number) << testing::PrintToString(text);
  }
  ::RegDeleteValueW(key.get(), L"InstallLanguageId");
  LangSetId(12345);
  LangInitialise(ReadSettings(keyPath.c_str()).language, L"");
  EXPECT_EQ(Store().LanguageId(), user);
  EXPECT_EQ(Store().BaseName(), L"");
}

TEST_F(LanguageSelection, MissingPathConfiguresNothing) {
  SetText(L"InstallLanguageId", L"1066");
  LangInitialise(ReadSettings(keyPath.c_str()).language, L"lang\\zxtokd");
  EXPECT_EQ(Store().Folder(), L"");
  EXPECT_EQ(Store().BaseName(), L"");
  EXPECT_EQ(Store().LanguageId(), zeph::kLanguageIdNotSet);
  ::RegSetValueExW(key.get(), L"Path", 0, REG_SZ, nullptr, 0);
  LangInitialise(ReadSettings(keyPath.c_str()).language, L"lang\\zxtokd");
  EXPECT_EQ(Store().Folder(), L"");
  SetText(L"Path", std::wstring(260, L'a'));
  LangInitialise(ReadSettings(keyPath.c_str()).language, L"lang\\zxtokd");
  EXPECT_EQ(Store().Folder(), L"");
  EXPECT_EQ(Store().LanguageId(), zeph::kLanguageIdNotSet);
  // Only a terminator: the root of the current drive.
  SetText(L"Path", L"");
  LangInitialise(ReadSettings(keyPath.c_str()).language, L"lang\\zxtokd");
  EXPECT_EQ(Store().Folder(), L"\\");
  EXPECT_EQ(Store().LanguageId(), 1066);
}

TEST_F(LanguageSelection, MissingKeyKeepsTheFolderAndTakesTheUserLanguage) {
  LangInitialise(ReadSettings((keyPath + L"\\absent").c_str()).language, L"lang\\zxtokd");
  EXPECT_EQ(Store().Folder(), L"");
  EXPECT_EQ(Store().BaseName(), L"lang\\zxtokd");
  EXPECT_EQ(Store().LanguageId(), static_cast<uint16_t>(::GetUserDefaultLangID()));
  // The first request then takes the executable's folder, joined to the base name by "/".
  LangGetCodePage();
  const std::wstring executable = Win32LanguagePlatform().ExecutablePath();
  EXPECT_EQ(Store().Folder(), executable.substr(0, executable.rfind(L'\\')));
}

}  // namespace
}  // namespace tessard
