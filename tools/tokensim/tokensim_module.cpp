// tokensim.dll: a PKCS#11 2.x module over the shared simulated world, with the token
// maker's auxiliary list whose fourth entry is the blocking event wait.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/handles.h"
#include "token/pkcs11.h"
#include "tools/tokensim/sim_store.h"

namespace tokensim {

namespace {

using tessard::CKA_VENDOR_CONTAINER_NAME;
using tessard::CKA_VENDOR_FRIENDLY_NAME;
using tessard::UniqueHandle;

struct Session {
  CK_SLOT_ID slot = 0;
  bool finding = false;
  std::vector<CK_OBJECT_HANDLE> found;
};

// Process-wide: the wait's two events live as long as the process, so a wait that is
// still returning never sees its handles closed under it.
struct Module {
  std::atomic<bool> initialized{false};
  UniqueHandle finalized{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::string wakeName = "tokensim.wake." + std::to_string(::GetCurrentProcessId());
  UniqueHandle wake{::CreateEventA(nullptr, FALSE, FALSE, wakeName.c_str())};
  std::mutex mutex;  // guards what follows
  uint64_t lastSequence = 0;
  CK_SESSION_HANDLE nextSession = 1;
  std::map<CK_SESSION_HANDLE, Session> sessions;
};

Module& TheModule() {
  static Module module;
  return module;
}

void CopyPadded(CK_UTF8CHAR* target, size_t width, const Bytes& text) {
  std::memset(target, ' ', width);
  std::memcpy(target, text.data(), std::min(width, text.size()));
}

Bytes FromText(const char* text) { return Bytes(text, text + std::strlen(text)); }

template <typename T>
Bytes FromValue(T value) {
  Bytes bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

std::optional<Bytes> AttributeOf(const SimObject& object, CK_ATTRIBUTE_TYPE type) {
  bool certificate = object.objectClass == CKO_CERTIFICATE;
  switch (type) {
    case CKA_CLASS:
      return FromValue<CK_OBJECT_CLASS>(object.objectClass);
    case CKA_TOKEN:
      return FromValue<CK_BBOOL>(CK_TRUE);
    case CKA_ID:
      if (object.hasId) return object.id;
      return std::nullopt;
    case CKA_VENDOR_CONTAINER_NAME:
      if (object.hasContainer) return object.container;
      return std::nullopt;
    case CKA_VALUE:
      if (certificate) return object.value;
      return std::nullopt;
    case CKA_CERTIFICATE_TYPE:
      if (certificate) return FromValue<CK_CERTIFICATE_TYPE>(CKC_X_509);
      return std::nullopt;
    case CKA_VENDOR_FRIENDLY_NAME:
      if (certificate && !object.friendly.empty()) return object.friendly;
      return std::nullopt;
    case CKA_KEY_TYPE:
      if (!certificate) return FromValue<CK_KEY_TYPE>(CKK_RSA);
      return std::nullopt;
    case CKA_MODULUS:
      if (!certificate) return object.modulus;
      return std::nullopt;
    case CKA_ENCRYPT:
      if (!certificate) return FromValue<CK_BBOOL>(object.encrypt ? CK_TRUE : CK_FALSE);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

bool Matches(const SimObject& object, const CK_ATTRIBUTE* templ, CK_ULONG count) {
  for (CK_ULONG i = 0; i < count; ++i) {
    std::optional<Bytes> value = AttributeOf(object, templ[i].type);
    const auto* wanted = static_cast<const uint8_t*>(templ[i].pValue);
    if (!value || value->size() != templ[i].ulValueLen || !std::equal(value->begin(), value->end(), wanted)) {
      return false;
    }
  }
  return true;
}

// An entry's answer that may change the world, under its mutex: a failure that `fail`
// armed for it (counted down in the world's file), else `body`, which says whether it
// changed the world.
template <typename Body>
CK_RV Change(Entry entry, Body body) {
  CK_RV rv = CKR_OK;
  bool stored = UpdateWorld(
      [&](SimState& state) {
        bool armed = state.IsArmed(NameOf(entry));
        if ((rv = state.TakeFailure(NameOf(entry))) != CKR_OK) return true;
        bool changed = false;
        rv = body(state, changed);
        return changed || armed;
      },
      false);
  return stored ? rv : CKR_DEVICE_ERROR;
}

// An entry's answer from the world as last written: only an armed failure takes the mutex
// and writes.
template <typename Body>
CK_RV Answer(Entry entry, Body body) {
  CK_RV rv = CKR_OK;
  bool armed = false;
  bool reached = ReadWorld([&](const SimState& state) {
    armed = state.IsArmed(NameOf(entry));
    if (!armed) rv = body(state);
  });
  if (!reached) return CKR_DEVICE_ERROR;
  if (!armed) return rv;
  return Change(entry, [&](const SimState& state, bool&) { return body(state); });
}

// For entries that may run before C_Initialize: only the `fail` command's answer.
CK_RV ArmedFailure(Entry entry) {
  return Answer(entry, [](const SimState&) { return CKR_OK; });
}

// One entry's run after C_Initialize.
template <typename Body>
CK_RV Run(Entry entry, Body body) {
  if (!TheModule().initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  return Answer(entry, body);
}

// Counts the call; the counters are given back for the entry's body, which runs where the
// world is held and so cannot look them up again.
Counters& Count(Entry entry) {
  Counters& counters = WorldCounters();
  counters.CountCall(entry);
  return counters;
}

// A session's slot, when the session is known and its token is still there.
CK_RV SessionSlot(const SimState& state, CK_SESSION_HANDLE handle, Session** session) {
  auto it = TheModule().sessions.find(handle);
  if (it == TheModule().sessions.end()) return CKR_SESSION_HANDLE_INVALID;
  const SimSlot* slot = state.FindSlot(static_cast<uint32_t>(it->second.slot));
  if (slot == nullptr || !slot->present) return CKR_DEVICE_REMOVED;
  *session = &it->second;
  return CKR_OK;
}

CK_RV Sim_Initialize(void*) {
  Count(Entry::C_Initialize);
  Module& module = TheModule();
  if (module.initialized) return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  CK_RV rv = Change(Entry::C_Initialize, [&](SimState& state, bool& changed) {
    std::lock_guard<std::mutex> hold(module.mutex);
    module.lastSequence = state.nextSequence - 1;
    if (std::find(state.waiters.begin(), state.waiters.end(), module.wakeName) == state.waiters.end()) {
      state.waiters.push_back(module.wakeName);
      changed = true;
    }
    return CKR_OK;
  });
  if (rv != CKR_OK) return rv;
  ::ResetEvent(module.finalized.get());
  module.initialized = true;
  return CKR_OK;
}

CK_RV Sim_Finalize(void*) {
  Counters& counters = Count(Entry::C_Finalize);
  Module& module = TheModule();
  if (!module.initialized.exchange(false)) return CKR_CRYPTOKI_NOT_INITIALIZED;
  ::SetEvent(module.finalized.get());
  size_t open = 0;
  {
    std::lock_guard<std::mutex> hold(module.mutex);
    open = module.sessions.size();
    module.sessions.clear();
  }
  counters.AddOpenSessions(-static_cast<int32_t>(open));
  UpdateWorld([&](SimState& state) { return std::erase(state.waiters, module.wakeName) > 0; }, false);
  return CKR_OK;
}

CK_RV Sim_GetInfo(CK_INFO* info) {
  Count(Entry::C_GetInfo);
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  return Run(Entry::C_GetInfo, [&](const SimState&) {
    *info = {};
    info->cryptokiVersion = {2, 40};
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, FromText("Tessard"));
    CopyPadded(info->libraryDescription, sizeof info->libraryDescription, FromText("Simulated token"));
    return CKR_OK;
  });
}

CK_RV Sim_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID* list, CK_ULONG* count) {
  Count(Entry::C_GetSlotList);
  if (count == nullptr) return CKR_ARGUMENTS_BAD;
  return Run(Entry::C_GetSlotList, [&](const SimState& state) {
    std::vector<CK_SLOT_ID> ids;
    for (const SimSlot& slot : state.slots) {
      if (slot.present || !tokenPresent) ids.push_back(slot.id);
    }
    std::sort(ids.begin(), ids.end());
    CK_ULONG room = *count;
    *count = static_cast<CK_ULONG>(ids.size());
    if (list == nullptr) return CKR_OK;
    if (room < ids.size()) return CKR_BUFFER_TOO_SMALL;
    std::copy(ids.begin(), ids.end(), list);
    return CKR_OK;
  });
}

CK_RV Sim_GetSlotInfo(CK_SLOT_ID id, CK_SLOT_INFO* info) {
  Count(Entry::C_GetSlotInfo);
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  return Run(Entry::C_GetSlotInfo, [&](const SimState& state) {
    const SimSlot* slot = state.FindSlot(static_cast<uint32_t>(id));
    if (slot == nullptr) return CKR_SLOT_ID_INVALID;
    *info = {};
    CopyPadded(info->slotDescription, sizeof info->slotDescription, slot->reader);
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, FromText("Tessard"));
    info->flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (slot->present ? CKF_TOKEN_PRESENT : 0);
    return CKR_OK;
  });
}

CK_RV Sim_GetTokenInfo(CK_SLOT_ID id, CK_TOKEN_INFO* info) {
  Count(Entry::C_GetTokenInfo);
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  return Run(Entry::C_GetTokenInfo, [&](const SimState& state) {
    const SimSlot* slot = state.FindSlot(static_cast<uint32_t>(id));
    if (slot == nullptr) return CKR_SLOT_ID_INVALID;
    if (!slot->present) return CKR_TOKEN_NOT_PRESENT;
    *info = {};
    CopyPadded(info->label, sizeof info->label, slot->label);
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, FromText("Tessard"));
    CopyPadded(info->model, sizeof info->model, FromText("Simulated"));
    CopyPadded(info->serialNumber, sizeof info->serialNumber, slot->serial);
    info->flags = CKF_RNG | (slot->initialized ? CKF_TOKEN_INITIALIZED : 0);
    return CKR_OK;
  });
}

CK_RV Sim_OpenSession(CK_SLOT_ID id, CK_FLAGS flags, void*, CK_NOTIFY, CK_SESSION_HANDLE* handle) {
  Counters& counters = Count(Entry::C_OpenSession);
  if (handle == nullptr) return CKR_ARGUMENTS_BAD;
  if ((flags & CKF_SERIAL_SESSION) == 0) return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
  return Run(Entry::C_OpenSession, [&](const SimState& state) {
    const SimSlot* slot = state.FindSlot(static_cast<uint32_t>(id));
    if (slot == nullptr) return CKR_SLOT_ID_INVALID;
    if (!slot->present) return CKR_TOKEN_NOT_PRESENT;
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    *handle = TheModule().nextSession++;
    TheModule().sessions[*handle] = Session{id, false, {}};
    counters.AddOpenSessions(1);
    return CKR_OK;
  });
}

CK_RV Sim_CloseSession(CK_SESSION_HANDLE handle) {
  Counters& counters = Count(Entry::C_CloseSession);
  return Run(Entry::C_CloseSession, [&](const SimState&) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    if (TheModule().sessions.erase(handle) == 0) return CKR_SESSION_HANDLE_INVALID;
    counters.AddOpenSessions(-1);
    return CKR_OK;
  });
}

CK_RV Sim_CloseAllSessions(CK_SLOT_ID id) {
  Counters& counters = Count(Entry::C_CloseAllSessions);
  return Run(Entry::C_CloseAllSessions, [&](const SimState&) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    auto closed = std::erase_if(TheModule().sessions, [id](const auto& entry) { return entry.second.slot == id; });
    counters.AddOpenSessions(-static_cast<int32_t>(closed));
    return CKR_OK;
  });
}

CK_RV Sim_FindObjectsInit(CK_SESSION_HANDLE handle, CK_ATTRIBUTE* templ, CK_ULONG count) {
  Count(Entry::C_FindObjectsInit);
  if (templ == nullptr && count > 0) return CKR_ARGUMENTS_BAD;
  return Run(Entry::C_FindObjectsInit, [&](const SimState& state) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    Session* session = nullptr;
    if (CK_RV rv = SessionSlot(state, handle, &session); rv != CKR_OK) return rv;
    if (session->finding) return CKR_OPERATION_ACTIVE;
    for (CK_ULONG i = 0; i < count; ++i) {
      if (templ[i].pValue == nullptr && templ[i].ulValueLen > 0) return CKR_ARGUMENTS_BAD;
    }
    session->found.clear();
    for (const SimObject& object : state.FindSlot(static_cast<uint32_t>(session->slot))->objects) {
      if (Matches(object, templ, count)) session->found.push_back(object.handle);
    }
    session->finding = true;
    return CKR_OK;
  });
}

CK_RV Sim_FindObjects(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE* objects, CK_ULONG most, CK_ULONG* count) {
  Count(Entry::C_FindObjects);
  if (objects == nullptr || count == nullptr) return CKR_ARGUMENTS_BAD;
  return Run(Entry::C_FindObjects, [&](const SimState& state) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    Session* session = nullptr;
    if (CK_RV rv = SessionSlot(state, handle, &session); rv != CKR_OK) return rv;
    if (!session->finding) return CKR_OPERATION_NOT_INITIALIZED;
    CK_ULONG given = 0;
    while (given < most && !session->found.empty()) {
      objects[given++] = session->found.front();
      session->found.erase(session->found.begin());
    }
    *count = given;
    return CKR_OK;
  });
}

CK_RV Sim_FindObjectsFinal(CK_SESSION_HANDLE handle) {
  Count(Entry::C_FindObjectsFinal);
  return Run(Entry::C_FindObjectsFinal, [&](const SimState&) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    auto it = TheModule().sessions.find(handle);
    if (it == TheModule().sessions.end()) return CKR_SESSION_HANDLE_INVALID;
    if (!it->second.finding) return CKR_OPERATION_NOT_INITIALIZED;
    it->second.finding = false;
    it->second.found.clear();
    return CKR_OK;
  });
}

// Every attribute is answered; the status names the worst of them, as the standard asks.
CK_RV FillAttribute(const SimObject& object, CK_ATTRIBUTE& attribute) {
  std::optional<Bytes> value = AttributeOf(object, attribute.type);
  if (!value) {
    attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
    return CKR_ATTRIBUTE_TYPE_INVALID;
  }
  if (attribute.pValue == nullptr) {
    attribute.ulValueLen = static_cast<CK_ULONG>(value->size());
    return CKR_OK;
  }
  if (attribute.ulValueLen < value->size()) {
    attribute.ulValueLen = CK_UNAVAILABLE_INFORMATION;
    return CKR_BUFFER_TOO_SMALL;
  }
  std::copy(value->begin(), value->end(), static_cast<uint8_t*>(attribute.pValue));
  attribute.ulValueLen = static_cast<CK_ULONG>(value->size());
  return CKR_OK;
}

CK_RV Sim_GetAttributeValue(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE id, CK_ATTRIBUTE* templ, CK_ULONG count) {
  Count(Entry::C_GetAttributeValue);
  if (templ == nullptr && count > 0) return CKR_ARGUMENTS_BAD;
  return Run(Entry::C_GetAttributeValue, [&](const SimState& state) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    Session* session = nullptr;
    if (CK_RV rv = SessionSlot(state, handle, &session); rv != CKR_OK) return rv;
    const SimObject* object = state.FindObject(static_cast<uint32_t>(session->slot), static_cast<uint32_t>(id));
    if (object == nullptr) return CKR_OBJECT_HANDLE_INVALID;
    CK_RV result = CKR_OK;
    for (CK_ULONG i = 0; i < count; ++i) {
      CK_RV rv = FillAttribute(*object, templ[i]);
      if (rv != CKR_OK) result = rv;
    }
    return result;
  });
}

// The object with the template's values, or why it cannot take them.
CK_RV Edited(const SimObject& object, const CK_ATTRIBUTE* templ, CK_ULONG count, SimObject& edited) {
  edited = object;
  for (CK_ULONG i = 0; i < count; ++i) {
    const auto* bytes = static_cast<const uint8_t*>(templ[i].pValue);
    if (bytes == nullptr && templ[i].ulValueLen > 0) return CKR_ARGUMENTS_BAD;
    Bytes value(bytes, bytes + templ[i].ulValueLen);
    if (templ[i].type == CKA_VENDOR_FRIENDLY_NAME && edited.objectClass == CKO_CERTIFICATE) {
      edited.friendly = value;
    } else if (templ[i].type == CKA_VENDOR_CONTAINER_NAME) {
      edited.container = value;
      edited.hasContainer = true;
    } else if (templ[i].type == CKA_ID) {
      edited.id = value;
      edited.hasId = true;
    } else {
      return AttributeOf(edited, templ[i].type) ? CKR_ATTRIBUTE_READ_ONLY : CKR_ATTRIBUTE_TYPE_INVALID;
    }
  }
  return CKR_OK;
}

// The one entry that changes the world: it always goes through the file.
CK_RV Sim_SetAttributeValue(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE id, CK_ATTRIBUTE* templ, CK_ULONG count) {
  Count(Entry::C_SetAttributeValue);
  if (templ == nullptr && count > 0) return CKR_ARGUMENTS_BAD;
  if (!TheModule().initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  return Change(Entry::C_SetAttributeValue, [&](SimState& state, bool& changed) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    Session* session = nullptr;
    if (CK_RV rv = SessionSlot(state, handle, &session); rv != CKR_OK) return rv;
    SimObject* object = state.FindObject(static_cast<uint32_t>(session->slot), static_cast<uint32_t>(id));
    if (object == nullptr) return CKR_OBJECT_HANDLE_INVALID;
    SimObject edited;
    if (CK_RV rv = Edited(*object, templ, count, edited); rv != CKR_OK) return rv;
    *object = edited;
    changed = true;
    return CKR_OK;
  });
}

// The next event this process has not seen, if any.
std::optional<SimEvent> NextEvent(const SimState& state) {
  std::lock_guard<std::mutex> hold(TheModule().mutex);
  for (const SimEvent& event : state.events) {
    if (event.sequence > TheModule().lastSequence) {
      TheModule().lastSequence = event.sequence;
      return event;
    }
  }
  return std::nullopt;
}

// Blocks until a writer wakes this process or C_Finalize runs; true for the latter. A stubborn
// wait hears only writers.
bool BlockUntilWokenOrFinalized(Counters& counters, bool stubborn) {
  Module& module = TheModule();
  HANDLE events[] = {module.wake.get(), module.finalized.get()};
  counters.AddWaitsInProgress(1);
  DWORD woken = ::WaitForMultipleObjects(stubborn ? 1 : 2, events, FALSE, INFINITE);
  counters.AddWaitsInProgress(-1);
  return woken == WAIT_OBJECT_0 + 1;
}

CK_RV WaitForTokenEvent(CK_FLAGS, CK_SLOT_ID* slot, CK_ULONG* code, CK_ULONG* data, void*) {
  Counters& counters = Count(Entry::WaitForTokenEvent);
  if (slot == nullptr || code == nullptr || data == nullptr) return CKR_ARGUMENTS_BAD;
  for (;;) {
    bool stubborn = false;
    std::optional<SimEvent> event;
    CK_RV rv = Answer(Entry::WaitForTokenEvent, [&](const SimState& state) {
      stubborn = state.stubbornWait;
      if (TheModule().initialized) event = NextEvent(state);
      return CKR_OK;
    });
    if (!TheModule().initialized && !stubborn) return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (rv != CKR_OK) return rv;
    if (event) {
      counters.CountEventTaken();
      *slot = event->slot;
      *code = event->code;
      if (event->hasData) *data = event->data;
      return CKR_OK;
    }
    if (BlockUntilWokenOrFinalized(counters, stubborn)) return CKR_CRYPTOKI_NOT_INITIALIZED;
  }
}

// Entries the program never calls answer "not supported"; with the C calling convention
// the caller removes the arguments, so one body per entry serves every signature.
template <Entry kEntry>
CK_RV NotSupported() {
  Count(kEntry);
  return CKR_FUNCTION_NOT_SUPPORTED;
}

template <typename Function>
Function Unsupported(CK_RV (*body)()) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(body));
}

CK_RV Sim_GetFunctionList(CK_FUNCTION_LIST** list);

CK_FUNCTION_LIST MakeFunctionList() {
  CK_FUNCTION_LIST list{};
  list.version = {2, 40};
  // Every entry first, then the ones the simulator answers over theirs.
#define TOKENSIM_UNSUPPORTED(name) list.name = Unsupported<CK_##name>(&NotSupported<Entry::name>);
  TOKENSIM_FUNCTION_LIST_ENTRIES(TOKENSIM_UNSUPPORTED)
#undef TOKENSIM_UNSUPPORTED
  list.C_Initialize = Sim_Initialize;
  list.C_Finalize = Sim_Finalize;
  list.C_GetInfo = Sim_GetInfo;
  list.C_GetFunctionList = Sim_GetFunctionList;
  list.C_GetSlotList = Sim_GetSlotList;
  list.C_GetSlotInfo = Sim_GetSlotInfo;
  list.C_GetTokenInfo = Sim_GetTokenInfo;
  list.C_OpenSession = Sim_OpenSession;
  list.C_CloseSession = Sim_CloseSession;
  list.C_CloseAllSessions = Sim_CloseAllSessions;
  list.C_FindObjectsInit = Sim_FindObjectsInit;
  list.C_FindObjects = Sim_FindObjects;
  list.C_FindObjectsFinal = Sim_FindObjectsFinal;
  list.C_GetAttributeValue = Sim_GetAttributeValue;
  list.C_SetAttributeValue = Sim_SetAttributeValue;
  return list;
}

CK_FUNCTION_LIST functionList = MakeFunctionList();

CK_RV Sim_GetFunctionList(CK_FUNCTION_LIST** list) {
  Count(Entry::C_GetFunctionList);
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  if (CK_RV failure = ArmedFailure(Entry::C_GetFunctionList); failure != CKR_OK) return failure;
  *list = &functionList;
  return CKR_OK;
}

// The token maker's list: a version, then entries packed without gaps; the fourth waits.
#pragma pack(push, 1)
struct AuxFunctionList {
  CK_VERSION version;
  void (*entries[4])();
};
#pragma pack(pop)
static_assert(offsetof(AuxFunctionList, entries[3]) == 2 + 3 * sizeof(void*));

const AuxFunctionList auxList = {{1, 0}, {nullptr, nullptr, nullptr, reinterpret_cast<void (*)()>(&WaitForTokenEvent)}};
const AuxFunctionList auxListWithoutWait = {{1, 0}, {nullptr, nullptr, nullptr, nullptr}};

CK_RV GetAuxFunctionList(const void** list) {
  Count(Entry::E_GetAuxFunctionList);
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  return Answer(Entry::E_GetAuxFunctionList, [&](const SimState& state) {
    *list = state.auxWaitMissing ? &auxListWithoutWait : &auxList;
    return CKR_OK;
  });
}

}  // namespace

}  // namespace tokensim

extern "C" {

CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) { return tokensim::Sim_GetFunctionList(list); }

__declspec(dllexport) CK_RV E_GetAuxFunctionList(const void** list) { return tokensim::GetAuxFunctionList(list); }
}
