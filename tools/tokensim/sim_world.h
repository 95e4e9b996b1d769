#pragma once
// The simulated token world, typed: what tokensim.exe and the Windows tests change and read.
// Every call acts on the world TOKENSIM_STATE names (see sim_store.h) and is seen at once by
// every process that has tokensim.dll loaded. Nothing here prints.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/tokensim/sim_entries.h"
#include "tools/tokensim/sim_state.h"

namespace tokensim {

enum class Outcome {
  kDone,
  kNoToken,       // the slot holds no token
  kNoSuchObject,  // nothing on the slot's token matched
  kNotRsa,        // a certificate whose key was asked for has no RSA key
  kUnreachable,   // the world's file could not be locked or written
};

// One certificate for a token, and its public key when `key` is set: a public-key object
// with the certificate's RSA modulus, its id and its container name.
struct Certificate {
  Bytes der{};
  bool key = false;
  std::string container{};   // empty: "tokensim-<handle>"
  bool hasContainer = true;  // false: no container attribute at all
  Bytes id{};                // empty: the text of "tokensim-<handle>"
  bool hasId = true;         // false: no CKA_ID at all
  bool encrypt = true;       // the public key's CKA_ENCRYPT
  std::optional<std::string> friendly{};
};

struct Token {
  uint32_t slot = 0;
  std::optional<std::string> reader{};  // none: "Simulated Reader <slot>"
  std::optional<std::string> label{};   // none: the product's token label
  bool initialized = true;
  Bytes atr = {0x3b, 0x02, 0x00};
  std::vector<Certificate> certificates{};
};

// What a change did, and the object handles it gave or took.
struct Handles {
  Outcome outcome = Outcome::kDone;
  std::vector<uint32_t> handles{};
};

// A failure that `Fail` arms for every call from then on.
inline constexpr int32_t kEveryTime = -1;

// Puts a token in the slot (replacing one there) and emits event 1.
Handles Insert(const Token& token);
// Takes the token out and emits event 2.
Outcome Remove(uint32_t slot);
// Puts objects on the slot's token, emitting event 3 with each handle.
Handles Add(uint32_t slot, const std::vector<Certificate>& certificates);
// Deletes the object, or every certificate with these bytes, emitting event 4 with each handle.
Handles Delete(uint32_t slot, uint32_t handle);
Handles Delete(uint32_t slot, const Bytes& certificate);
// Emits any event; without data the wait leaves the caller's data output as it was.
Outcome Emit(uint32_t slot, uint32_t code, std::optional<uint32_t> data = std::nullopt);
// The entry returns `rv` after `after` successful calls, `times` times (kEveryTime: always).
Outcome Fail(Entry entry, uint32_t rv, uint32_t after = 0, int32_t times = 1);
// Whether the auxiliary list holds its wait entry.
Outcome Shape(bool withWait);
// Whether C_Finalize leaves a pending wait blocked, as a badly behaved module would.
Outcome StubbornWait(bool stubborn);
// An empty world. Events keep their numbering and live waiters stay registered, so that a
// module already waiting sees what comes next.
Outcome Reset();

SimState World();
int32_t OpenSessions();
CallCounts Calls();
void ResetCalls();
// Counts a call of an entry outside the module, such as the reader stand-in's, and gives
// the failure armed for it, or 0.
uint32_t CallOf(Entry entry);
// Events that WaitForTokenEvent handed out, and waits blocked in it now.
int32_t EventsTaken();
int32_t WaitsInProgress();

// DER as it stands, or the first PEM block decoded; none when the file cannot be read.
std::optional<Bytes> ReadCertificateFile(const std::string& path);
// The certificate's RSA modulus, big-endian as PKCS#11 gives it.
std::optional<Bytes> RsaModulusOf(const Bytes& certificate);

}  // namespace tokensim
