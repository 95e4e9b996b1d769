#pragma once
// One simulated world, shared by every process that loads tokensim.dll, by tokensim.exe and
// by the tests: its file (TOKENSIM_STATE, else %ProgramData%\tokensim\state.txt), and a named
// mutex and named shared memory, both named after that path so that worlds stay apart.
//
// Each copy of this library keeps the world it last read. Every writer bumps a generation
// number in the shared memory under the mutex, and a reader re-reads the file only when that
// number moved: a call on an unchanged world touches no file. What changes on nearly every
// call (sessions, calls per entry, events taken, waits) lives in the shared memory alone, so
// it lasts as long as some process has the world open. Writers wake each registered waiter
// through its own named auto-reset event, so waiting costs nothing and no wake-up is lost.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/tokensim/sim_entries.h"
#include "tools/tokensim/sim_state.h"

namespace tokensim {

// Runs `read` on the world as last written; false when the world could not be reached.
bool ReadWorld(const std::function<void(const SimState&)>& read);

// Runs `change` on a copy of the world under the mutex. When it returns true the copy becomes
// the world, and with `wake` every waiter is woken afterwards; false when the world could not
// be reached or written.
bool UpdateWorld(const std::function<bool(SimState&)>& change, bool wake);

// The counters in the world's shared memory. Every member is read and written atomically, as
// other processes change them at any time; zero bytes are a fresh set.
class Counters {
 public:
  int32_t Generation() const;
  // Returns the new generation.
  int32_t BumpGeneration();

  void CountCall(Entry entry);
  CallCounts Calls() const;
  void ResetCalls();
  // Never below zero: a reset may have zeroed sessions that are closed later.
  void AddOpenSessions(int32_t delta);
  int32_t OpenSessions() const;
  void CountEventTaken();
  int32_t EventsTaken() const;
  void AddWaitsInProgress(int32_t delta);
  int32_t WaitsInProgress() const;
  // A new world's counts; the waits in progress stay, as the waits themselves do.
  void Reset();

 private:
  int32_t generation_;
  int32_t openSessions_;
  int32_t eventsTaken_;
  int32_t waitsInProgress_;
  CallCounts calls_;
};

// The counters of the world TOKENSIM_STATE names now.
Counters& WorldCounters();

// What a smart-card reader stand-in needs: the readers with a token and its ATR.
struct ReaderCard {
  uint32_t slot = 0;
  std::string readerName;  // without trailing spaces
  Bytes atr;
  bool present = false;
};
std::vector<ReaderCard> ListReaders();

}  // namespace tokensim
