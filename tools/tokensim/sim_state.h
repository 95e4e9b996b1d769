#pragma once
// The simulated token world as data: slots, objects, events, armed failures and waiters,
// and its text form in the state file. Free of <windows.h>; sim_store.h shares it between
// processes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tokensim {

using Bytes = std::vector<uint8_t>;

struct SimObject {
  uint32_t handle = 0;
  uint32_t objectClass = 0;  // CKO_CERTIFICATE or CKO_PUBLIC_KEY
  bool hasId = true;
  bool hasContainer = true;
  Bytes id;
  Bytes value;      // certificate DER
  Bytes container;  // ANSI text, no terminator
  Bytes friendly;   // UTF-16 bytes with terminator; empty when never set
  Bytes modulus;    // public keys: big-endian modulus
  bool encrypt = true;
};

struct SimSlot {
  uint32_t id = 0;
  bool present = false;
  bool initialized = true;
  Bytes reader;  // slot description as given, before padding
  Bytes label;
  Bytes atr;
  Bytes serial;  // each inserted token's own, so that a program tells two tokens of one slot apart
  std::vector<SimObject> objects;
};

struct SimEvent {
  uint64_t sequence = 0;
  uint32_t slot = 0;
  uint32_t code = 0;
  uint32_t data = 0;
  bool hasData = false;  // false: the wait leaves the caller's data output untouched
};

// `fail`: the entry named `call` returns `rv` after `after` successful calls, `times` times
// (negative: for ever).
struct SimFailure {
  std::string call;
  uint32_t rv = 0;
  uint32_t after = 0;
  int32_t times = 1;
};

struct SimState {
  uint32_t nextHandle = 1;
  uint64_t nextSequence = 1;
  bool auxWaitMissing = false;  // presents an auxiliary list whose wait entry is null
  bool stubbornWait = false;    // C_Finalize leaves a pending wait blocked
  std::vector<SimFailure> failures;
  std::vector<SimSlot> slots;
  std::vector<SimEvent> events;
  std::vector<std::string> waiters;  // names of the waiters' wake-up events

  SimSlot* FindSlot(uint32_t id);
  const SimSlot* FindSlot(uint32_t id) const;
  SimObject* FindObject(uint32_t slot, uint32_t handle);
  const SimObject* FindObject(uint32_t slot, uint32_t handle) const;
  void Emit(uint32_t slot, uint32_t code, uint32_t data, bool hasData);
  // Whether a failure of the named entry is armed: only then does a call change the world.
  bool IsArmed(std::string_view call) const;
  // Counts one call of the named entry; returns the failure value to give, or 0.
  uint32_t TakeFailure(std::string_view call);
};

std::string Serialise(const SimState& state);
// Malformed text gives an empty world rather than a half-read one.
SimState Parse(const std::string& text);

}  // namespace tokensim
