// The typed changes and reads of the simulated world, over the shared store.

#include "tools/tokensim/sim_world.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "certstore/crypt_handles.h"
#include "platform/handles.h"
#include "platform/two_call.h"
#include "token/pkcs11.h"
#include "tools/tokensim/sim_store.h"

namespace tokensim {

namespace {

constexpr char kDefaultLabel[] = "Orvane-CA Token";

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

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

// The objects of one certificate, built before the world is locked so that a certificate
// without the key asked for changes nothing. Handles are given later.
bool AppendObjectsOf(const Certificate& certificate, std::vector<SimObject>& objects) {
  SimObject cert;
  cert.objectClass = CKO_CERTIFICATE;
  cert.value = certificate.der;
  cert.hasId = certificate.hasId;
  cert.hasContainer = certificate.hasContainer;
  cert.id = certificate.id;
  cert.container = FromText(certificate.container);
  if (certificate.friendly) cert.friendly = Utf16WithTerminator(*certificate.friendly);
  objects.push_back(cert);
  if (!certificate.key) return true;
  std::optional<Bytes> modulus = RsaModulusOf(certificate.der);
  if (!modulus) return false;
  SimObject key = cert;
  key.objectClass = CKO_PUBLIC_KEY;
  key.value.clear();
  key.friendly.clear();
  key.modulus = std::move(*modulus);
  key.encrypt = certificate.encrypt;
  objects.push_back(key);
  return true;
}

std::optional<std::vector<SimObject>> ObjectsOf(const std::vector<Certificate>& certificates) {
  std::vector<SimObject> objects;
  for (const Certificate& certificate : certificates) {
    if (!AppendObjectsOf(certificate, objects)) return std::nullopt;
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

Outcome Change(const std::function<bool(SimState&)>& change) {
  return UpdateWorld(change, true) ? Outcome::kDone : Outcome::kUnreachable;
}

// Chosen objects of the slot's token go, each with its event 4.
Handles DeleteWhere(uint32_t slot, const std::function<bool(const SimObject&)>& chosen) {
  Handles deleted;
  deleted.outcome = Change([&](SimState& state) {
    deleted.handles.clear();
    SimSlot* entry = state.FindSlot(slot);
    if (entry == nullptr) return false;
    std::erase_if(entry->objects, [&](const SimObject& object) {
      if (!chosen(object)) return false;
      deleted.handles.push_back(object.handle);
      return true;
    });
    for (uint32_t handle : deleted.handles) state.Emit(slot, 4, handle, true);
    return !deleted.handles.empty();
  });
  if (deleted.outcome == Outcome::kDone && deleted.handles.empty()) deleted.outcome = Outcome::kNoSuchObject;
  return deleted;
}

// A waiter's wake-up event lives as long as the process that waits; one that can no longer
// be opened belongs to a process that ended without C_Finalize (killed, say).
bool WaiterIsAlive(const std::string& name) {
  tessard::UniqueHandle event(::OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
  return static_cast<bool>(event);
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<Bytes> DecodePem(const std::string& text) {
  DWORD size = 0;
  if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                              nullptr, nullptr)) {
    return std::nullopt;
  }
  Bytes der(size);
  if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                              &size, nullptr, nullptr)) {
    return std::nullopt;
  }
  der.resize(size);
  return der;
}

}  // namespace

Handles Insert(const Token& token) {
  std::optional<std::vector<SimObject>> objects = ObjectsOf(token.certificates);
  if (!objects) return {Outcome::kNotRsa, {}};
  Handles inserted;
  inserted.outcome = Change([&](SimState& state) {
    SimSlot* slot = state.FindSlot(token.slot);
    if (slot == nullptr) {
      state.slots.push_back({});
      slot = &state.slots.back();
      slot->id = token.slot;
    }
    slot->reader = FromText(token.reader.value_or("Simulated Reader " + std::to_string(token.slot)));
    slot->label = FromText(token.label.value_or(kDefaultLabel));
    slot->atr = token.atr;
    slot->serial = FromText("SIM" + std::to_string(state.nextSequence));
    slot->initialized = token.initialized;
    slot->present = true;
    slot->objects.clear();
    inserted.handles = Place(state, *slot, *objects);
    state.Emit(token.slot, 1, 0, false);
    return true;
  });
  return inserted;
}

Outcome Remove(uint32_t slot) {
  bool present = false;
  Outcome outcome = Change([&](SimState& state) {
    SimSlot* entry = state.FindSlot(slot);
    present = entry != nullptr && entry->present;
    if (!present) return false;
    entry->present = false;
    entry->objects.clear();
    state.Emit(slot, 2, 0, false);
    return true;
  });
  return outcome == Outcome::kDone && !present ? Outcome::kNoToken : outcome;
}

Handles Add(uint32_t slot, const std::vector<Certificate>& certificates) {
  std::optional<std::vector<SimObject>> objects = ObjectsOf(certificates);
  if (!objects) return {Outcome::kNotRsa, {}};
  Handles added;
  bool present = false;
  added.outcome = Change([&](SimState& state) {
    SimSlot* entry = state.FindSlot(slot);
    present = entry != nullptr && entry->present;
    if (!present) return false;
    added.handles = Place(state, *entry, *objects);
    for (uint32_t handle : added.handles) state.Emit(slot, 3, handle, true);
    return true;
  });
  if (added.outcome == Outcome::kDone && !present) added.outcome = Outcome::kNoToken;
  return added;
}

Handles Delete(uint32_t slot, uint32_t handle) {
  return DeleteWhere(slot, [handle](const SimObject& object) { return object.handle == handle; });
}

Handles Delete(uint32_t slot, const Bytes& certificate) {
  return DeleteWhere(slot, [&certificate](const SimObject& object) {
    return object.objectClass == CKO_CERTIFICATE && object.value == certificate;
  });
}

Outcome Emit(uint32_t slot, uint32_t code, std::optional<uint32_t> data) {
  return Change([&](SimState& state) {
    state.Emit(slot, code, data.value_or(0), data.has_value());
    return true;
  });
}

Outcome Fail(Entry entry, uint32_t rv, uint32_t after, int32_t times) {
  SimFailure failure{std::string(NameOf(entry)), rv, after, times};
  return Change([&](SimState& state) {
    std::erase_if(state.failures, [&](const SimFailure& f) { return f.call == failure.call; });
    state.failures.push_back(failure);
    return true;
  });
}

Outcome Shape(bool withWait) {
  return Change([&](SimState& state) {
    state.auxWaitMissing = !withWait;
    return true;
  });
}

Outcome StubbornWait(bool stubborn) {
  return Change([&](SimState& state) {
    state.stubbornWait = stubborn;
    return true;
  });
}

Outcome Reset() {
  WorldCounters().Reset();
  return Change([](SimState& state) {
    SimState fresh;
    fresh.nextSequence = state.nextSequence;
    std::copy_if(state.waiters.begin(), state.waiters.end(), std::back_inserter(fresh.waiters), WaiterIsAlive);
    state = fresh;
    return true;
  });
}

SimState World() {
  SimState world;
  ReadWorld([&](const SimState& state) { world = state; });
  return world;
}

int32_t OpenSessions() { return WorldCounters().OpenSessions(); }

CallCounts Calls() { return WorldCounters().Calls(); }

void ResetCalls() { WorldCounters().ResetCalls(); }

uint32_t CallOf(Entry entry) {
  WorldCounters().CountCall(entry);
  bool armed = false;
  if (!ReadWorld([&](const SimState& state) { armed = state.IsArmed(NameOf(entry)); }) || !armed) return 0;
  uint32_t rv = 0;
  UpdateWorld(
      [&](SimState& state) {
        rv = state.TakeFailure(NameOf(entry));
        return true;
      },
      false);
  return rv;
}

int32_t EventsTaken() { return WorldCounters().EventsTaken(); }

int32_t WaitsInProgress() { return WorldCounters().WaitsInProgress(); }

std::optional<Bytes> ReadCertificateFile(const std::string& path) {
  Bytes file = ReadFileBytes(path);
  if (file.empty()) return std::nullopt;
  std::string text(file.begin(), file.end());
  if (text.find("-----BEGIN") == std::string::npos) return file;
  return DecodePem(text);
}

std::optional<Bytes> RsaModulusOf(const Bytes& certificate) {
  tessard::UniqueCertContext context(
      ::CertCreateCertificateContext(X509_ASN_ENCODING, certificate.data(), static_cast<DWORD>(certificate.size())));
  if (!context) return std::nullopt;
  const CRYPT_BIT_BLOB& key = context.get()->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  const std::optional<Bytes> blob = tessard::ReadTwoCall([&](BYTE* buffer, DWORD* size) {
    return ::CryptDecodeObject(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, key.pbData, key.cbData, 0, buffer, size) !=
           FALSE;
  });
  constexpr size_t kHeader = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
  if (!blob || blob->size() < kHeader) return std::nullopt;
  const auto* rsa = reinterpret_cast<const RSAPUBKEY*>(blob->data() + sizeof(BLOBHEADER));
  // A modulus of a few bits still takes a byte.
  const size_t length = (rsa->bitlen + 7) / 8;
  if (blob->size() < kHeader + length) return std::nullopt;
  Bytes modulus(blob->begin() + kHeader, blob->begin() + kHeader + length);
  std::reverse(modulus.begin(), modulus.end());
  return modulus;
}

}  // namespace tokensim
