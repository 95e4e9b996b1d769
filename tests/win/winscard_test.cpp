// The stand-in winscard.dll's own rules, beyond the one query the program makes: contexts,
// several readers in one call, and waiting for a change.
#include <windows.h>
// After <windows.h>, which it needs.
#include <gtest/gtest.h>
#include <winscard.h>

#include <thread>

#include "tests/win/tokensim_driver.h"
#include "token/card_provider.h"

namespace tessard {
namespace {

constexpr DWORD kCardChanged = SCARD_STATE_PRESENT | SCARD_STATE_CHANGED;

SCARD_READERSTATEW StateOf(const wchar_t* reader, DWORD current = SCARD_STATE_UNAWARE) {
  SCARD_READERSTATEW state{};
  state.szReader = reader;
  state.dwCurrentState = current;
  return state;
}

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::UseOwnSimulatorWorld();
    ASSERT_EQ(::SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, context_.put()), SCARD_S_SUCCESS);
    ASSERT_TRUE(context_);
  }

  UniqueSmartCardContext context_;
};

TEST(StandInContext, BadArgumentsAndHandlesAreRefused) {
  SCARDCONTEXT context = 0;
  EXPECT_EQ(::SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, nullptr), SCARD_E_INVALID_PARAMETER);
  EXPECT_EQ(::SCardEstablishContext(7, nullptr, nullptr, &context), SCARD_E_INVALID_PARAMETER);
  ASSERT_EQ(::SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context), SCARD_S_SUCCESS);
  EXPECT_NE(context, 0u);
  EXPECT_EQ(::SCardReleaseContext(context), SCARD_S_SUCCESS);
  EXPECT_EQ(::SCardReleaseContext(context), SCARD_E_INVALID_HANDLE);
  SCARD_READERSTATEW state = StateOf(L"Tessard Reader A");
  EXPECT_EQ(::SCardGetStatusChangeW(context, 0, &state, 1), SCARD_E_INVALID_HANDLE);
}

TEST_F(StandIn, ReportsEachReaderOfOneCall) {
  testing::Sim(tokensim::Insert({.slot = 1, .reader = "Tessard Reader A", .atr = {0x3b, 0x02, 0x11}}));
  testing::Sim(tokensim::Insert({.slot = 2, .reader = "Tessard Reader B"}));
  testing::Sim(tokensim::Remove(2));
  SCARD_READERSTATEW states[] = {StateOf(L"Tessard Reader A"), StateOf(L"Tessard Reader B"),
                                 StateOf(L"Tessard No Such Reader")};
  ASSERT_EQ(::SCardGetStatusChangeW(context_.get(), 1000, states, 3), SCARD_S_SUCCESS);
  EXPECT_EQ(states[0].dwEventState, kCardChanged);
  EXPECT_EQ(states[0].cbAtr, 3u);
  EXPECT_EQ(states[0].rgbAtr[2], 0x11);
  EXPECT_EQ(states[1].dwEventState, DWORD{SCARD_STATE_EMPTY | SCARD_STATE_CHANGED});
  EXPECT_EQ(states[1].cbAtr, 0u);
  EXPECT_EQ(states[2].dwEventState, DWORD{SCARD_STATE_UNKNOWN | SCARD_STATE_CHANGED | SCARD_STATE_IGNORE});
  SCARD_READERSTATEW unknown = StateOf(L"Tessard No Such Reader");
  EXPECT_EQ(::SCardGetStatusChangeW(context_.get(), 1000, &unknown, 1), SCARD_E_UNKNOWN_READER);
  EXPECT_EQ(::SCardGetStatusChangeW(context_.get(), 1000, nullptr, 1), SCARD_E_INVALID_PARAMETER);
}

TEST_F(StandIn, UnchangedReaderWaitsForTheTimeout) {
  testing::Sim(tokensim::Insert({.slot = 1, .reader = "Tessard Reader A"}));
  SCARD_READERSTATEW state = StateOf(L"Tessard Reader A", SCARD_STATE_PRESENT);
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(::SCardGetStatusChangeW(context_.get(), 300, &state, 1), SCARD_E_TIMEOUT);
  EXPECT_GE(::GetTickCount64() - start, 290u);
  EXPECT_EQ(state.dwEventState, DWORD{SCARD_STATE_PRESENT});
}

TEST_F(StandIn, WaitEndsWhenATokenIsInserted) {
  testing::Sim(tokensim::Insert({.slot = 1, .reader = "Tessard Reader A"}));
  testing::Sim(tokensim::Remove(1));
  std::thread inserter([] {
    ::Sleep(200);
    testing::Sim(tokensim::Insert({.slot = 1, .reader = "Tessard Reader A", .atr = {0x3b, 0x02, 0x14, 0x01}}));
  });
  SCARD_READERSTATEW state = StateOf(L"Tessard Reader A", SCARD_STATE_EMPTY);
  const LONG status = ::SCardGetStatusChangeW(context_.get(), 20000, &state, 1);
  inserter.join();
  ASSERT_EQ(status, SCARD_S_SUCCESS);
  EXPECT_EQ(state.dwEventState, kCardChanged);
  EXPECT_EQ(state.cbAtr, 4u);
}

}  // namespace
}  // namespace tessard
