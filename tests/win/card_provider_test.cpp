// The card-type search over a smart-card database of the test's own under HKLM of the
// test prefix, and the reader query against a reader nobody knows.
#include "certstore/card_provider.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace tessard {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr wchar_t kDatabase[] = L"SOFTWARE\\Tessard Tests\\SmartCards";

const Bytes kCardAtr{0x3B, 0xDA, 0x18, 0xFF, 0x81, 0xB1, 0xFE, 0x75, 0x1F, 0x03};

class CardDatabase : public ::testing::Test {
 protected:
  void SetUp() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kDatabase); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kDatabase); }

  // Card types are enumerated in name order here, so names start with their rank.
  static void AddCardType(const std::wstring& name, const Bytes& atr, const Bytes& mask, const wchar_t* provider) {
    UniqueRegKey key;
    const std::wstring path = std::wstring(kDatabase) + L"\\" + name;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    ::RegSetValueExW(key.get(), L"ATR", 0, REG_BINARY, atr.data(), static_cast<DWORD>(atr.size()));
    ::RegSetValueExW(key.get(), L"ATRMask", 0, REG_BINARY, mask.data(), static_cast<DWORD>(mask.size()));
    if (provider) {
      ::RegSetValueExW(key.get(), L"Crypto Provider", 0, REG_SZ, reinterpret_cast<const BYTE*>(provider),
                       static_cast<DWORD>((std::wcslen(provider) + 1) * sizeof(wchar_t)));
    }
  }

  static std::optional<std::wstring> Find(const Bytes& atr = kCardAtr) { return FindCardProvider(atr, kDatabase); }
};

TEST_F(CardDatabase, MissingDatabaseOrNoMatchFindsNothing) {
  EXPECT_EQ(Find(), std::nullopt);
  AddCardType(L"1 other", Bytes(kCardAtr.size(), 0x11), Bytes(kCardAtr.size(), 0xFF), L"Other");
  EXPECT_EQ(Find(), std::nullopt);
}

TEST_F(CardDatabase, ExactMaskNeedsTheWholeAtrOfTheSameLength) {
  const Bytes prefix(kCardAtr.begin(), kCardAtr.end() - 1);
  AddCardType(L"1 prefix", prefix, Bytes(prefix.size(), 0xFF), L"Prefix Provider");
  AddCardType(L"2 exact", kCardAtr, Bytes(kCardAtr.size(), 0xFF), L"Exact Provider");
  EXPECT_EQ(Find(), L"Exact Provider");
  Bytes changed = kCardAtr;
  changed[4] ^= 0x01;
  EXPECT_EQ(Find(changed), std::nullopt);
}

TEST_F(CardDatabase, ZeroMaskMatchesAnyAtrOfTheLengthAgainstZeros) {
  AddCardType(L"1 any", Bytes(kCardAtr.size(), 0), Bytes(kCardAtr.size(), 0), L"Any Provider");
  EXPECT_EQ(Find(), L"Any Provider");
  EXPECT_EQ(Find(Bytes(kCardAtr.size(), 0x42)), L"Any Provider");
  EXPECT_EQ(Find(Bytes(kCardAtr.size() + 1, 0x42)), std::nullopt);
}

TEST_F(CardDatabase, FirstMatchWinsAndAMatchWithoutProviderEndsTheSearch) {
  AddCardType(L"2 second", kCardAtr, Bytes(kCardAtr.size(), 0xFF), L"Second Provider");
  AddCardType(L"3 third", kCardAtr, Bytes(kCardAtr.size(), 0xFF), L"Third Provider");
  EXPECT_EQ(Find(), L"Second Provider");
  AddCardType(L"1 first", kCardAtr, Bytes(kCardAtr.size(), 0xFF), nullptr);
  EXPECT_EQ(Find(), std::nullopt);
}

TEST(CardReader, UnknownReaderGivesNoAtr) { EXPECT_EQ(ReadCardAtr(L"Tessard No Such Reader 0"), std::nullopt); }

}  // namespace
}  // namespace tessard
