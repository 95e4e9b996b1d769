// tokensim.exe: changes the simulated token world from outside the program under test; a
// command line over sim_world.h that prints what each change did.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "token/pkcs11.h"
#include "tools/tokensim/sim_world.h"

namespace tokensim {

namespace {

using Arguments = std::vector<std::string>;

struct Failure {
  std::string message;
};

Bytes ParseHex(const std::string& text) {
  Bytes bytes;
  if (text.size() % 2 != 0) throw Failure{"odd number of hex digits: " + text};
  for (size_t i = 0; i < text.size(); i += 2) {
    size_t used = 0;
    unsigned long value = std::stoul(text.substr(i, 2), &used, 16);
    if (used != 2) throw Failure{"not hex: " + text};
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

unsigned long ParseNumber(const std::string& text) {
  try {
    size_t used = 0;
    unsigned long value = std::stoul(text, &used, 0);
    if (used == text.size()) return value;
  } catch (...) {
  }
  throw Failure{"not a number: " + text};
}

std::string HexText(const Bytes& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text.empty() ? "-" : text;
}

Bytes CertificateFile(const std::string& path) {
  std::optional<Bytes> der = ReadCertificateFile(path);
  if (!der) throw Failure{"cannot read a certificate from " + path};
  return *der;
}

struct Options {
  std::optional<uint32_t> slot;
  std::optional<std::string> reader, label, atr, call;
  std::optional<uint32_t> handle, code, data, rv, after, times, auxWait, stubbornWait;
  bool uninitialized = false;
  bool reset = false;
  std::vector<Certificate> certificates;
};

std::string Value(const Arguments& args, size_t& i) {
  if (i + 1 >= args.size()) throw Failure{"missing value after " + args[i]};
  return args[++i];
}

Certificate& LastCertificate(Options& options, const std::string& option) {
  if (options.certificates.empty()) throw Failure{option + " needs a --cert before it"};
  return options.certificates.back();
}

Options ParseOptions(const Arguments& args) {
  Options o;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--slot")
      o.slot = ParseNumber(Value(args, i));
    else if (a == "--reader")
      o.reader = Value(args, i);
    else if (a == "--label")
      o.label = Value(args, i);
    else if (a == "--uninitialized")
      o.uninitialized = true;
    else if (a == "--atr")
      o.atr = Value(args, i);
    else if (a == "--cert")
      o.certificates.push_back({.der = CertificateFile(Value(args, i))});
    else if (a == "--key")
      LastCertificate(o, a).key = true;
    else if (a == "--container")
      LastCertificate(o, a).container = Value(args, i);
    else if (a == "--no-container")
      LastCertificate(o, a).hasContainer = false;
    else if (a == "--id")
      LastCertificate(o, a).id = ParseHex(Value(args, i));
    else if (a == "--no-id")
      LastCertificate(o, a).hasId = false;
    else if (a == "--encrypt")
      LastCertificate(o, a).encrypt = ParseNumber(Value(args, i)) != 0;
    else if (a == "--friendly")
      LastCertificate(o, a).friendly = Value(args, i);
    else if (a == "--handle")
      o.handle = ParseNumber(Value(args, i));
    else if (a == "--code")
      o.code = ParseNumber(Value(args, i));
    else if (a == "--data")
      o.data = ParseNumber(Value(args, i));
    else if (a == "--call")
      o.call = Value(args, i);
    else if (a == "--rv")
      o.rv = static_cast<uint32_t>(std::stoul(Value(args, i), nullptr, 16));
    else if (a == "--after")
      o.after = ParseNumber(Value(args, i));
    else if (a == "--times")
      o.times = ParseNumber(Value(args, i));
    else if (a == "--aux-wait")
      o.auxWait = ParseNumber(Value(args, i));
    else if (a == "--stubborn-wait")
      o.stubbornWait = ParseNumber(Value(args, i));
    else if (a == "--reset")
      o.reset = true;
    else
      throw Failure{"unknown option " + a};
  }
  return o;
}

uint32_t NeedSlot(const Options& o) {
  if (!o.slot) throw Failure{"--slot N is required"};
  return *o.slot;
}

// Throws what the outcome means for the slot, unless the change was made.
void Check(Outcome outcome, uint32_t slot) {
  switch (outcome) {
    case Outcome::kDone:
      return;
    case Outcome::kNoToken:
      throw Failure{"no token in slot " + std::to_string(slot)};
    case Outcome::kNoSuchObject:
      throw Failure{"no such object in slot " + std::to_string(slot)};
    case Outcome::kNotRsa:
      throw Failure{"the certificate has no RSA key"};
    case Outcome::kUnreachable:
      throw Failure{"cannot reach the simulator state"};
  }
}

int Insert(const Options& o) {
  Token token{.slot = NeedSlot(o),
              .reader = o.reader,
              .label = o.label,
              .initialized = !o.uninitialized,
              .certificates = o.certificates};
  if (o.atr) token.atr = ParseHex(*o.atr);
  Handles inserted = tokensim::Insert(token);
  Check(inserted.outcome, token.slot);
  std::printf("inserted token in slot %u with %zu objects\n", token.slot, inserted.handles.size());
  return 0;
}

int Remove(const Options& o) {
  uint32_t slot = NeedSlot(o);
  Check(tokensim::Remove(slot), slot);
  std::printf("removed token from slot %u\n", slot);
  return 0;
}

int Add(const Options& o) {
  uint32_t slot = NeedSlot(o);
  if (o.certificates.empty()) throw Failure{"--cert FILE is required"};
  Handles added = tokensim::Add(slot, o.certificates);
  Check(added.outcome, slot);
  for (uint32_t handle : added.handles) std::printf("added object %u to slot %u\n", handle, slot);
  return 0;
}

int Delete(const Options& o) {
  uint32_t slot = NeedSlot(o);
  if (!o.handle && o.certificates.empty()) throw Failure{"--handle H or --cert FILE is required"};
  Handles deleted = o.handle ? tokensim::Delete(slot, *o.handle) : tokensim::Delete(slot, o.certificates[0].der);
  Check(deleted.outcome, slot);
  for (uint32_t handle : deleted.handles) std::printf("deleted object %u from slot %u\n", handle, slot);
  return 0;
}

int Event(const Options& o) {
  uint32_t slot = NeedSlot(o);
  if (!o.code) throw Failure{"--code C is required"};
  Check(Emit(slot, *o.code, o.data), slot);
  std::printf("event %u on slot %u\n", *o.code, slot);
  return 0;
}

int Fail(const Options& o) {
  if (!o.call || !o.rv) throw Failure{"--call NAME and --rv HEX are required"};
  std::optional<Entry> entry = EntryNamed(*o.call);
  if (!entry) throw Failure{"no entry named " + *o.call};
  uint32_t after = o.after.value_or(0);
  int32_t times = o.times ? static_cast<int32_t>(*o.times) : 1;
  if (times == 0) times = kEveryTime;
  Check(tokensim::Fail(*entry, *o.rv, after, times), 0);
  std::printf("%s returns 0x%X after %u calls, %s\n", o.call->c_str(), *o.rv, after,
              times == kEveryTime ? "always" : (std::to_string(times) + " times").c_str());
  return 0;
}

int Shape(const Options& o) {
  if (!o.auxWait && !o.stubbornWait) throw Failure{"--aux-wait 0|1 or --stubborn-wait 0|1 is required"};
  if (o.auxWait) {
    Check(tokensim::Shape(*o.auxWait != 0), 0);
    std::printf("auxiliary list %s its wait entry\n", *o.auxWait ? "has" : "lacks");
  }
  if (o.stubbornWait) {
    Check(tokensim::StubbornWait(*o.stubbornWait != 0), 0);
    std::printf("C_Finalize %s a pending wait\n", *o.stubbornWait ? "leaves" : "ends");
  }
  return 0;
}

std::string Quoted(const Bytes& text) { return "\"" + std::string(text.begin(), text.end()) + "\""; }

std::string FriendlyText(const Bytes& utf16) {
  std::string text;
  for (size_t i = 0; i + 1 < utf16.size() && (utf16[i] || utf16[i + 1]); i += 2) text += static_cast<char>(utf16[i]);
  return text;
}

int List(const Options& o) {
  SimState state = World();
  for (const SimSlot& slot : state.slots) {
    if (o.slot && slot.id != *o.slot) continue;
    std::printf("slot %u %s %s reader %s label %s atr %s\n", slot.id, slot.present ? "present" : "empty",
                slot.initialized ? "initialized" : "uninitialized", Quoted(slot.reader).c_str(),
                Quoted(slot.label).c_str(), HexText(slot.atr).c_str());
    for (const SimObject& object : slot.objects) {
      bool cert = object.objectClass == CKO_CERTIFICATE;
      std::printf("  object %u %s container %s id %s", object.handle, cert ? "certificate" : "public-key",
                  object.hasContainer ? Quoted(object.container).c_str() : "(none)",
                  object.hasId ? HexText(object.id).c_str() : "(none)");
      if (cert)
        std::printf(" friendly \"%s\"", FriendlyText(object.friendly).c_str());
      else
        std::printf(" encrypt %d", object.encrypt ? 1 : 0);
      std::printf("\n");
    }
  }
  for (const SimFailure& f : state.failures) {
    std::printf("fail %s rv 0x%X after %u times %d\n", f.call.c_str(), f.rv, f.after, f.times);
  }
  std::printf("waiters %zu\n", state.waiters.size());
  std::printf("sessions %d\n", OpenSessions());
  return 0;
}

int PrintCount(int32_t count) {
  std::printf("%d\n", count);
  return 0;
}

int Calls(const Options& o) {
  if (o.reset) {
    ResetCalls();
    std::printf("calls reset\n");
    return 0;
  }
  CallCounts calls = tokensim::Calls();
  for (size_t i = 0; i < kEntryCount; ++i) {
    std::printf("%.*s %d\n", static_cast<int>(kEntryNames[i].size()), kEntryNames[i].data(), calls[i]);
  }
  return 0;
}

int Reset() {
  Check(tokensim::Reset(), 0);
  std::printf("reset\n");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "tokensim insert  --slot N [--reader TEXT] [--label TEXT] [--uninitialized] [--atr HEX]\n"
               "                 [--cert FILE [--key] [--container NAME | --no-container] [--id HEX | --no-id]\n"
               "                  [--encrypt 0|1] [--friendly TEXT]]...\n"
               "tokensim remove  --slot N\n"
               "tokensim add     --slot N --cert FILE [--key] [--container NAME] [--id HEX] [--encrypt 0|1]\n"
               "tokensim delete  --slot N (--handle H | --cert FILE)\n"
               "tokensim event   --slot N --code C [--data D]\n"
               "tokensim fail    --call NAME --rv HEX [--after K] [--times T]   (T 0: always)\n"
               "tokensim shape   [--aux-wait 0|1] [--stubborn-wait 0|1]\n"
               "tokensim list    [--slot N]\n"
               "tokensim calls   [--reset]       calls of each module entry\n"
               "tokensim sessions                open sessions\n"
               "tokensim taken                   events handed out by WaitForTokenEvent\n"
               "tokensim waits                   waits blocked in WaitForTokenEvent now\n"
               "tokensim reset\n");
  return 2;
}

int Run(const Arguments& args) {
  if (args.empty()) return Usage();
  Options o = ParseOptions(args);
  const std::string& command = args[0];
  if (command == "insert") return Insert(o);
  if (command == "remove") return Remove(o);
  if (command == "add") return Add(o);
  if (command == "delete") return Delete(o);
  if (command == "event") return Event(o);
  if (command == "fail") return Fail(o);
  if (command == "shape") return Shape(o);
  if (command == "list") return List(o);
  if (command == "calls") return Calls(o);
  if (command == "sessions") return PrintCount(OpenSessions());
  if (command == "taken") return PrintCount(EventsTaken());
  if (command == "waits") return PrintCount(WaitsInProgress());
  if (command == "reset") return Reset();
  return Usage();
}

}  // namespace

}  // namespace tokensim

int main(int argc, char** argv) {
  try {
    return tokensim::Run(tokensim::Arguments(argv + 1, argv + argc));
  } catch (const tokensim::Failure& failure) {
    std::fprintf(stderr, "tokensim: %s\n", failure.message.c_str());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tokensim: %s\n", error.what());
    return 1;
  }
}
