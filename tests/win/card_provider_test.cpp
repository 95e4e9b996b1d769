// The card-type search over a smart-card database of the test's own under HKLM of the
// test prefix, and the reader query against the simulated token's readers through the
// stand-in winscard.dll of the test folder.
#include "token/card_provider.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/win/card_database.h"
#include "tests/win/tokensim_driver.h"

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
    testing::AddCardType(kDatabase, name, atr, mask, provider);
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

void InsertToken(uint32_t slot, const std::string& reader, const Bytes& atr) {
  testing::Sim(tokensim::Insert({.slot = slot, .reader = reader, .atr = atr}));
}

std::wstring FolderOf(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.resize(folder.find_last_of(L'\\') + 1);
  for (wchar_t& c : folder) c = static_cast<wchar_t>(std::towlower(c));
  return folder;
}

// Without the prefix's override the program would be talking to Wine's own winscard, and
// every reader test below would be testing that instead. Wine names a builtin after the
// file it found, so the folder alone does not tell them apart: Wine's establishes no context.
TEST(CardReaderStandIn, IsTheWinscardOfTheTestFolder) {
  const HMODULE loaded = ::GetModuleHandleW(L"winscard.dll");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(FolderOf(loaded), FolderOf(nullptr));
  UniqueSmartCardContext context;
  EXPECT_EQ(::SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, context.put()), SCARD_S_SUCCESS)
      << "the winscard.dll loaded is not the stand-in; is tests/wine/winscard.reg in the prefix?";
}

class CardReader : public ::testing::Test {
 protected:
  void SetUp() override { testing::UseOwnSimulatorWorld(); }
};

TEST_F(CardReader, ReaderWithTokenGivesThatTokensAtr) {
  const Bytes otherAtr{0x3B, 0x02, 0x14, 0x50};
  InsertToken(1, "Tessard Reader A", kCardAtr);
  InsertToken(2, "Tessard Reader B   ", otherAtr);
  EXPECT_EQ(ReadCardAtr(L"Tessard Reader A"), kCardAtr);
  // Slot descriptions are space-padded; the reader's name is the description without them.
  EXPECT_EQ(ReadCardAtr(L"Tessard Reader B"), otherAtr);
}

TEST_F(CardReader, AtrOfThirtySixBytesComesThroughWhole) {
  Bytes longest{0x3B};
  while (longest.size() < 36) longest.push_back(static_cast<std::uint8_t>(longest.size() * 7));
  InsertToken(1, "Tessard Reader A", longest);
  EXPECT_EQ(ReadCardAtr(L"Tessard Reader A"), longest);
}

TEST_F(CardReader, EmptyOrUnknownReaderGivesNoAtr) {
  InsertToken(1, "Tessard Reader A", kCardAtr);
  testing::Sim(tokensim::Remove(1));
  // The reader is known and answers, with no card and so no ATR of the token that left it.
  EXPECT_EQ(ReadCardAtr(L"Tessard Reader A"), Bytes{});
  EXPECT_EQ(ReadCardAtr(L"Tessard No Such Reader 0"), std::nullopt);
  // Names are compared whole.
  EXPECT_EQ(ReadCardAtr(L"Tessard Reader"), std::nullopt);
}

class CardInReader : public CardDatabase {
 protected:
  void SetUp() override {
    CardDatabase::SetUp();
    testing::UseOwnSimulatorWorld();
  }
};

TEST_F(CardInReader, ProviderOfTheCardTypeMatchingTheReadAtr) {
  // The database holds the card type's ATR with the masked-out byte already zero.
  Bytes mask(kCardAtr.size(), 0xFF);
  mask[3] = 0x00;
  Bytes masked = kCardAtr;
  masked[3] = 0x00;
  AddCardType(L"1 other", Bytes(kCardAtr.size(), 0x11), Bytes(kCardAtr.size(), 0xFF), L"Other Provider");
  AddCardType(L"2 token", masked, mask, L"Token Provider");
  Bytes cardAtr = kCardAtr;
  cardAtr[3] = 0x42;
  InsertToken(1, "Tessard Reader A", cardAtr);
  const auto atr = ReadCardAtr(L"Tessard Reader A");
  ASSERT_EQ(atr, cardAtr);
  EXPECT_EQ(Find(*atr), L"Token Provider");
}

}  // namespace
}  // namespace tessard
