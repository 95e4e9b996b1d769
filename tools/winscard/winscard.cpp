// winscard.dll: the resource manager's context and reader-state calls over the simulated
// token's readers. Each slot of the simulated world is one reader, named by its slot
// description; a slot that holds a token is a reader with a card and that token's ATR.

#include <windows.h>
// After <windows.h>, which it needs.
#include <winscard.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/text_convert.h"
#include "tools/tokensim/sim_store.h"
#include "tools/tokensim/sim_world.h"

namespace {

// A changed world is seen within this long by a caller that waits for a change.
constexpr DWORD kPollIntervalMs = 50;

// The bits that say what a reader holds; the caller's "changed" flag and the event count
// in the upper half take no part in deciding whether anything changed.
constexpr DWORD kStateBits = 0x0000FFFF & ~SCARD_STATE_CHANGED;

// The contexts this process has been given and not yet released.
class Contexts {
 public:
  SCARDCONTEXT Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.insert(next_);
    return next_++;
  }
  bool Close(SCARDCONTEXT context) {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.erase(context) != 0;
  }
  bool IsOpen(SCARDCONTEXT context) {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.count(context) != 0;
  }

 private:
  std::mutex mutex_;
  SCARDCONTEXT next_ = 1;
  std::set<SCARDCONTEXT> open_;
};

Contexts& TheContexts() {
  static Contexts contexts;
  return contexts;
}

struct Reader {
  std::wstring name;
  const tokensim::ReaderCard* card;
};

std::vector<Reader> NamedReaders(const std::vector<tokensim::ReaderCard>& cards) {
  std::vector<Reader> readers;
  for (const tokensim::ReaderCard& card : cards)
    readers.push_back({tessard::ToWide(card.readerName, tessard::kCodePageAnsi), &card});
  return readers;
}

const tokensim::ReaderCard* FindReader(const std::vector<Reader>& readers, const wchar_t* name) {
  const auto found = std::find_if(readers.begin(), readers.end(), [name](const Reader& r) { return r.name == name; });
  return found == readers.end() ? nullptr : found->card;
}

DWORD StateOf(const tokensim::ReaderCard* card) {
  if (card == nullptr) return SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE;
  return card->present ? SCARD_STATE_PRESENT : SCARD_STATE_EMPTY;
}

// Writes what the reader holds now into `entry`; true when that differs from what the
// caller last knew.
bool Report(SCARD_READERSTATEW& entry, const tokensim::ReaderCard* card) {
  const DWORD state = StateOf(card);
  const bool changed = state != (entry.dwCurrentState & kStateBits);
  entry.dwEventState = changed ? state | SCARD_STATE_CHANGED : state;
  // An ATR longer than the entry holds is cut to what fits; real cards stay within it.
  const bool withCard = card != nullptr && card->present;
  entry.cbAtr = withCard ? static_cast<DWORD>(std::min(card->atr.size(), sizeof entry.rgbAtr)) : 0;
  if (withCard) std::memcpy(entry.rgbAtr, card->atr.data(), entry.cbAtr);
  return changed;
}

struct Round {
  bool anyKnown = false;
  bool anyChanged = false;
};

Round ReportAll(std::span<SCARD_READERSTATEW> entries) {
  const std::vector<tokensim::ReaderCard> cards = tokensim::ListReaders();
  const std::vector<Reader> readers = NamedReaders(cards);
  Round round;
  for (SCARD_READERSTATEW& entry : entries) {
    const tokensim::ReaderCard* card = FindReader(readers, entry.szReader);
    round.anyKnown = round.anyKnown || card != nullptr;
    round.anyChanged = Report(entry, card) || round.anyChanged;
  }
  return round;
}

bool HasEveryName(std::span<const SCARD_READERSTATEW> entries) {
  return std::all_of(entries.begin(), entries.end(), [](const SCARD_READERSTATEW& e) { return e.szReader != nullptr; });
}

}  // namespace

extern "C" {

LONG WINAPI SCardEstablishContext(DWORD dwScope, LPCVOID, LPCVOID, LPSCARDCONTEXT phContext) {
  if (phContext == nullptr || (dwScope != SCARD_SCOPE_USER && dwScope != SCARD_SCOPE_SYSTEM)) {
    return SCARD_E_INVALID_PARAMETER;
  }
  if (const uint32_t armed = tokensim::CallOf(tokensim::Entry::SCardEstablishContext)) return static_cast<LONG>(armed);
  *phContext = TheContexts().Open();
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT hContext) {
  return TheContexts().Close(hContext) ? SCARD_S_SUCCESS : SCARD_E_INVALID_HANDLE;
}

// Answers at once when some reader differs from the caller's current state, or when no
// reader asked for is known; otherwise watches the world until one does or time runs out.
LONG WINAPI SCardGetStatusChangeW(SCARDCONTEXT hContext, DWORD dwTimeout, LPSCARD_READERSTATEW rgReaderStates,
                                  DWORD cReaders) {
  if (!TheContexts().IsOpen(hContext)) return SCARD_E_INVALID_HANDLE;
  if (rgReaderStates == nullptr || cReaders == 0) return SCARD_E_INVALID_PARAMETER;
  const std::span<SCARD_READERSTATEW> entries(rgReaderStates, cReaders);
  if (!HasEveryName(entries)) return SCARD_E_INVALID_PARAMETER;
  if (const uint32_t armed = tokensim::CallOf(tokensim::Entry::SCardGetStatusChangeW)) return static_cast<LONG>(armed);
  const DWORD start = ::GetTickCount();
  for (;;) {
    const Round round = ReportAll(entries);
    if (!round.anyKnown) return SCARD_E_UNKNOWN_READER;
    if (round.anyChanged) return SCARD_S_SUCCESS;
    const DWORD waited = ::GetTickCount() - start;
    if (dwTimeout != INFINITE && waited >= dwTimeout) return SCARD_E_TIMEOUT;
    ::Sleep(dwTimeout == INFINITE ? kPollIntervalMs : std::min(kPollIntervalMs, dwTimeout - waited));
  }
}

}  // extern "C"
