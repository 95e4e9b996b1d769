// tokensim.exe: changes the simulated token world from outside the program under test.

#include <windows.h>
// After <windows.h>, which it needs.
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "token/pkcs11.h"
#include "tools/tokensim/sim_state.h"

namespace tokensim {

namespace {

using Arguments = std::vector<std::string>;

struct Failure {
  std::string message;
};

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

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

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure{"cannot read " + path};
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// DER as it stands, or the first PEM block decoded.
Bytes CertificateDer(const std::string& path) {
  Bytes file = ReadFileBytes(path);
  std::string text(file.begin(), file.end());
  if (text.find("-----BEGIN") == std::string::npos) return file;
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
    throw Failure{"bad PEM in " + path};
  }
  Bytes der(size);
  if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr)) {
    throw Failure{"bad PEM in " + path};
  }
  der.resize(size);
  return der;
}

// The certificate's RSA modulus, big-endian as PKCS#11 gives it.
Bytes RsaModulus(const Bytes& der) {
  PCCERT_CONTEXT context =
      ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  if (context == nullptr) throw Failure{"not a certificate"};
  const CRYPT_BIT_BLOB& key = context->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  DWORD size = 0;
  Bytes blob;
  bool decoded =
      ::CryptDecodeObject(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, 0, nullptr, &size) != FALSE;
  if (decoded) {
    blob.resize(size);
    decoded = ::CryptDecodeObject(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, 0, blob.data(),
                                  &size) != FALSE;
  }
  ::CertFreeCertificateContext(context);
  constexpr size_t kHeader = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
  if (!decoded || size < kHeader) throw Failure{"the certificate has no RSA key"};
  const auto* rsa = reinterpret_cast<const RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER));
  size_t length = rsa->bitlen / 8;
  if (size < kHeader + length) throw Failure{"the certificate has no RSA key"};
  Bytes modulus(blob.begin() + kHeader, blob.begin() + kHeader + length);
  std::reverse(modulus.begin(), modulus.end());
  return modulus;
}

// One --cert group of insert or add.
struct CertificateGroup {
  std::string file;
  bool key = false;
  std::optional<std::string> container;
  std::optional<Bytes> id;
  bool encrypt = true;
  std::optional<std::string> friendly;
  bool withoutContainer = false;
  bool withoutId = false;
};

struct Options {
  std::optional<uint32_t> slot;
  std::optional<std::string> reader, label, atr, call, cert;
  std::optional<uint32_t> handle, code, data, rv, after, times, auxWait;
  bool uninitialized = false;
  std::vector<CertificateGroup> certificates;
};

std::string Value(const Arguments& args, size_t& i) {
  if (i + 1 >= args.size()) throw Failure{"missing value after " + args[i]};
  return args[++i];
}

CertificateGroup& LastCertificate(Options& options, const std::string& option) {
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
    else if (a == "--cert") {
      o.cert = Value(args, i);
      CertificateGroup group;
      group.file = *o.cert;
      o.certificates.push_back(group);
    } else if (a == "--key")
      LastCertificate(o, a).key = true;
    else if (a == "--container")
      LastCertificate(o, a).container = Value(args, i);
    else if (a == "--no-container")
      LastCertificate(o, a).withoutContainer = true;
    else if (a == "--id")
      LastCertificate(o, a).id = ParseHex(Value(args, i));
    else if (a == "--no-id")
      LastCertificate(o, a).withoutId = true;
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
    else
      throw Failure{"unknown option " + a};
  }
  return o;
}

uint32_t NeedSlot(const Options& o) {
  if (!o.slot) throw Failure{"--slot N is required"};
  return *o.slot;
}

Bytes Utf16WithTerminator(const std::string& text) {
  Bytes bytes;
  for (unsigned char c : text) {
    bytes.push_back(c);
    bytes.push_back(0);
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// The objects of one --cert group, built before the state is locked so that a bad file
// changes nothing. Handles are given later.
std::vector<SimObject> ObjectsOf(const CertificateGroup& group) {
  SimObject cert;
  cert.objectClass = CKO_CERTIFICATE;
  cert.value = CertificateDer(group.file);
  cert.hasId = !group.withoutId;
  cert.hasContainer = !group.withoutContainer;
  if (group.id) cert.id = *group.id;
  if (group.container) cert.container = FromText(*group.container);
  if (group.friendly) cert.friendly = Utf16WithTerminator(*group.friendly);
  std::vector<SimObject> objects{cert};
  if (group.key) {
    SimObject key = cert;
    key.objectClass = CKO_PUBLIC_KEY;
    key.value.clear();
    key.friendly.clear();
    key.modulus = RsaModulus(cert.value);
    key.encrypt = group.encrypt;
    objects.push_back(key);
  }
  return objects;
}

std::vector<SimObject> ObjectsOf(const Options& o) {
  std::vector<SimObject> objects;
  for (const CertificateGroup& group : o.certificates) {
    for (SimObject& object : ObjectsOf(group)) objects.push_back(std::move(object));
  }
  return objects;
}

// Gives handles and the defaults that depend on them; a key shares its certificate's.
std::vector<uint32_t> Place(SimState& state, SimSlot& slot, std::vector<SimObject> objects) {
  std::vector<uint32_t> handles;
  for (size_t i = 0; i < objects.size(); ++i) {
    SimObject& object = objects[i];
    object.handle = state.nextHandle++;
    if (object.objectClass == CKO_CERTIFICATE) {
      std::string name = "tokensim-" + std::to_string(object.handle);
      if (object.id.empty() && object.hasId) object.id = FromText(name);
      if (object.container.empty() && object.hasContainer) object.container = FromText(name);
    } else {
      object.id = objects[i - 1].id;
      object.container = objects[i - 1].container;
    }
    handles.push_back(object.handle);
    slot.objects.push_back(object);
  }
  return handles;
}

void Change(const std::function<bool(SimState&)>& change) {
  if (!UpdateState(change, true)) throw Failure{"cannot reach the simulator state"};
}

int Insert(const Options& o) {
  uint32_t id = NeedSlot(o);
  std::vector<SimObject> objects = ObjectsOf(o);
  Bytes atr = o.atr ? ParseHex(*o.atr) : ParseHex("3b0200");
  std::vector<uint32_t> handles;
  Change([&](SimState& state) {
    SimSlot* slot = state.FindSlot(id);
    if (slot == nullptr) {
      state.slots.push_back({});
      slot = &state.slots.back();
      slot->id = id;
    }
    slot->reader = FromText(o.reader.value_or("Simulated Reader " + std::to_string(id)));
    slot->label = FromText(o.label.value_or("Orvane-CA Token"));
    slot->atr = atr;
    slot->initialized = !o.uninitialized;
    slot->present = true;
    slot->objects.clear();
    handles = Place(state, *slot, objects);
    state.Emit(id, 1, 0, false);
    return true;
  });
  std::printf("inserted token in slot %u with %zu objects\n", id, handles.size());
  return 0;
}

int Remove(const Options& o) {
  uint32_t id = NeedSlot(o);
  bool known = false;
  Change([&](SimState& state) {
    SimSlot* slot = state.FindSlot(id);
    if (slot == nullptr || !slot->present) return false;
    known = true;
    slot->present = false;
    slot->objects.clear();
    state.Emit(id, 2, 0, false);
    return true;
  });
  if (!known) throw Failure{"no token in slot " + std::to_string(id)};
  std::printf("removed token from slot %u\n", id);
  return 0;
}

int Add(const Options& o) {
  uint32_t id = NeedSlot(o);
  if (o.certificates.empty()) throw Failure{"--cert FILE is required"};
  std::vector<SimObject> objects = ObjectsOf(o);
  std::vector<uint32_t> handles;
  Change([&](SimState& state) {
    SimSlot* slot = state.FindSlot(id);
    if (slot == nullptr || !slot->present) return false;
    handles = Place(state, *slot, objects);
    for (uint32_t handle : handles) state.Emit(id, 3, handle, true);
    return true;
  });
  if (handles.empty()) throw Failure{"no token in slot " + std::to_string(id)};
  for (uint32_t handle : handles) std::printf("added object %u to slot %u\n", handle, id);
  return 0;
}

int Delete(const Options& o) {
  uint32_t id = NeedSlot(o);
  if (!o.handle && !o.cert) throw Failure{"--handle H or --cert FILE is required"};
  Bytes value = o.cert ? CertificateDer(*o.cert) : Bytes{};
  std::vector<uint32_t> deleted;
  Change([&](SimState& state) {
    SimSlot* slot = state.FindSlot(id);
    if (slot == nullptr) return false;
    std::erase_if(slot->objects, [&](const SimObject& object) {
      bool chosen =
          o.handle ? object.handle == *o.handle : object.objectClass == CKO_CERTIFICATE && object.value == value;
      if (chosen) deleted.push_back(object.handle);
      return chosen;
    });
    for (uint32_t handle : deleted) state.Emit(id, 4, handle, true);
    return !deleted.empty();
  });
  if (deleted.empty()) throw Failure{"no such object in slot " + std::to_string(id)};
  for (uint32_t handle : deleted) std::printf("deleted object %u from slot %u\n", handle, id);
  return 0;
}

int Event(const Options& o) {
  uint32_t id = NeedSlot(o);
  if (!o.code) throw Failure{"--code C is required"};
  Change([&](SimState& state) {
    state.Emit(id, *o.code, o.data.value_or(0), o.data.has_value());
    return true;
  });
  std::printf("event %u on slot %u\n", *o.code, id);
  return 0;
}

int Fail(const Options& o) {
  if (!o.call || !o.rv) throw Failure{"--call NAME and --rv HEX are required"};
  SimFailure failure{*o.call, *o.rv, o.after.value_or(0), o.times ? static_cast<int32_t>(*o.times) : 1};
  if (failure.times == 0) failure.times = -1;
  Change([&](SimState& state) {
    std::erase_if(state.failures, [&](const SimFailure& f) { return f.call == failure.call; });
    state.failures.push_back(failure);
    return true;
  });
  std::printf("%s returns 0x%X after %u calls, %s\n", failure.call.c_str(), failure.rv, failure.after,
              failure.times < 0 ? "always" : (std::to_string(failure.times) + " times").c_str());
  return 0;
}

int Shape(const Options& o) {
  if (!o.auxWait) throw Failure{"--aux-wait 0|1 is required"};
  Change([&](SimState& state) {
    state.auxWaitMissing = *o.auxWait == 0;
    return true;
  });
  std::printf("auxiliary list %s its wait entry\n", *o.auxWait ? "has" : "lacks");
  return 0;
}

std::string Quoted(const Bytes& text) { return "\"" + std::string(text.begin(), text.end()) + "\""; }

std::string FriendlyText(const Bytes& utf16) {
  std::string text;
  for (size_t i = 0; i + 1 < utf16.size() && (utf16[i] || utf16[i + 1]); i += 2) text += static_cast<char>(utf16[i]);
  return text;
}

int List(const Options& o) {
  SimState state = ReadState();
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
  std::printf("sessions %d\n", state.openSessions);
  return 0;
}

int Sessions() {
  std::printf("%d\n", ReadState().openSessions);
  return 0;
}

// A waiter's wake-up event lives as long as the process that waits; one that can no longer
// be opened belongs to a process that ended without C_Finalize (killed, say).
bool WaiterIsAlive(const std::string& name) {
  tessard::UniqueHandle event(::OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
  return static_cast<bool>(event);
}

int Reset() {
  Change([](SimState& state) {
    SimState fresh;
    fresh.nextSequence = state.nextSequence;
    std::copy_if(state.waiters.begin(), state.waiters.end(), std::back_inserter(fresh.waiters), WaiterIsAlive);
    state = fresh;
    return true;
  });
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
               "tokensim shape   --aux-wait 0|1\n"
               "tokensim list    [--slot N]\n"
               "tokensim sessions\n"
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
  if (command == "sessions") return Sessions();
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
