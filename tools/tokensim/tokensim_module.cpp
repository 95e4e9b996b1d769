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
#include "tools/tokensim/sim_state.h"

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

// One entry's run: refuses before C_Initialize, gives a failure the `fail` command
// armed, otherwise runs `body` on the world (which says whether it changed it).
template <typename Body>
CK_RV Run(const char* name, Body body) {
  if (!TheModule().initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  CK_RV rv = CKR_OK;
  bool stored = UpdateState(
      [&](SimState& state) {
        bool armed = !state.failures.empty();
        if ((rv = state.TakeFailure(name)) != CKR_OK) return true;
        bool changed = false;
        rv = body(state, changed);
        return changed || armed;
      },
      false);
  return stored ? rv : CKR_DEVICE_ERROR;
}

// For entries that may run before C_Initialize: only the `fail` command's answer.
CK_RV ArmedFailure(const char* name) {
  CK_RV failure = CKR_OK;
  UpdateState(
      [&](SimState& state) {
        bool armed = !state.failures.empty();
        failure = state.TakeFailure(name);
        return armed;
      },
      false);
  return failure;
}

// A session's slot, when the session is known and its token is still there.
CK_RV SessionSlot(SimState& state, CK_SESSION_HANDLE handle, Session** session) {
  auto it = TheModule().sessions.find(handle);
  if (it == TheModule().sessions.end()) return CKR_SESSION_HANDLE_INVALID;
  SimSlot* slot = state.FindSlot(static_cast<uint32_t>(it->second.slot));
  if (slot == nullptr || !slot->present) return CKR_DEVICE_REMOVED;
  *session = &it->second;
  return CKR_OK;
}

CK_RV Sim_Initialize(void*) {
  Module& module = TheModule();
  if (module.initialized) return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  CK_RV rv = CKR_OK;
  bool stored = UpdateState(
      [&](SimState& state) {
        if ((rv = state.TakeFailure("C_Initialize")) != CKR_OK) return true;
        std::lock_guard<std::mutex> hold(module.mutex);
        module.lastSequence = state.nextSequence - 1;
        if (std::find(state.waiters.begin(), state.waiters.end(), module.wakeName) == state.waiters.end()) {
          state.waiters.push_back(module.wakeName);
        }
        return true;
      },
      false);
  if (!stored) return CKR_DEVICE_ERROR;
  if (rv != CKR_OK) return rv;
  ::ResetEvent(module.finalized.get());
  module.initialized = true;
  return CKR_OK;
}

CK_RV Sim_Finalize(void*) {
  Module& module = TheModule();
  if (!module.initialized.exchange(false)) return CKR_CRYPTOKI_NOT_INITIALIZED;
  ::SetEvent(module.finalized.get());
  std::lock_guard<std::mutex> hold(module.mutex);
  auto open = static_cast<int32_t>(module.sessions.size());
  module.sessions.clear();
  UpdateState(
      [&](SimState& state) {
        state.openSessions = std::max(0, state.openSessions - open);
        std::erase(state.waiters, module.wakeName);
        return true;
      },
      false);
  return CKR_OK;
}

CK_RV Sim_GetInfo(CK_INFO* info) {
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  return Run("C_GetInfo", [&](SimState&, bool&) {
    *info = {};
    info->cryptokiVersion = {2, 40};
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, FromText("Tessard"));
    CopyPadded(info->libraryDescription, sizeof info->libraryDescription, FromText("Simulated token"));
    return CKR_OK;
  });
}

CK_RV Sim_GetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID* list, CK_ULONG* count) {
  if (count == nullptr) return CKR_ARGUMENTS_BAD;
  return Run("C_GetSlotList", [&](SimState& state, bool&) {
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
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  return Run("C_GetSlotInfo", [&](SimState& state, bool&) {
    SimSlot* slot = state.FindSlot(static_cast<uint32_t>(id));
    if (slot == nullptr) return CKR_SLOT_ID_INVALID;
    *info = {};
    CopyPadded(info->slotDescription, sizeof info->slotDescription, slot->reader);
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, FromText("Tessard"));
    info->flags = CKF_REMOVABLE_DEVICE | CKF_HW_SLOT | (slot->present ? CKF_TOKEN_PRESENT : 0);
    return CKR_OK;
  });
}

CK_RV Sim_GetTokenInfo(CK_SLOT_ID id, CK_TOKEN_INFO* info) {
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  return Run("C_GetTokenInfo", [&](SimState& state, bool&) {
    SimSlot* slot = state.FindSlot(static_cast<uint32_t>(id));
    if (slot == nullptr) return CKR_SLOT_ID_INVALID;
    if (!slot->present) return CKR_TOKEN_NOT_PRESENT;
    *info = {};
    CopyPadded(info->label, sizeof info->label, slot->label);
    CopyPadded(info->manufacturerID, sizeof info->manufacturerID, FromText("Tessard"));
    CopyPadded(info->model, sizeof info->model, FromText("Simulated"));
    CopyPadded(info->serialNumber, sizeof info->serialNumber, FromValue(slot->id + 1000u));
    info->flags = CKF_RNG | (slot->initialized ? CKF_TOKEN_INITIALIZED : 0);
    return CKR_OK;
  });
}

CK_RV Sim_OpenSession(CK_SLOT_ID id, CK_FLAGS flags, void*, CK_NOTIFY, CK_SESSION_HANDLE* handle) {
  if (handle == nullptr) return CKR_ARGUMENTS_BAD;
  if ((flags & CKF_SERIAL_SESSION) == 0) return CKR_SESSION_PARALLEL_NOT_SUPPORTED;
  return Run("C_OpenSession", [&](SimState& state, bool& changed) {
    SimSlot* slot = state.FindSlot(static_cast<uint32_t>(id));
    if (slot == nullptr) return CKR_SLOT_ID_INVALID;
    if (!slot->present) return CKR_TOKEN_NOT_PRESENT;
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    *handle = TheModule().nextSession++;
    TheModule().sessions[*handle] = Session{id, false, {}};
    ++state.openSessions;
    changed = true;
    return CKR_OK;
  });
}

CK_RV Sim_CloseSession(CK_SESSION_HANDLE handle) {
  return Run("C_CloseSession", [&](SimState& state, bool& changed) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    if (TheModule().sessions.erase(handle) == 0) return CKR_SESSION_HANDLE_INVALID;
    state.openSessions = std::max(0, state.openSessions - 1);
    changed = true;
    return CKR_OK;
  });
}

CK_RV Sim_CloseAllSessions(CK_SLOT_ID id) {
  return Run("C_CloseAllSessions", [&](SimState& state, bool& changed) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    auto closed = std::erase_if(TheModule().sessions, [id](const auto& entry) { return entry.second.slot == id; });
    state.openSessions = std::max(0, state.openSessions - static_cast<int32_t>(closed));
    changed = closed > 0;
    return CKR_OK;
  });
}

CK_RV Sim_FindObjectsInit(CK_SESSION_HANDLE handle, CK_ATTRIBUTE* templ, CK_ULONG count) {
  if (templ == nullptr && count > 0) return CKR_ARGUMENTS_BAD;
  return Run("C_FindObjectsInit", [&](SimState& state, bool&) {
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
  if (objects == nullptr || count == nullptr) return CKR_ARGUMENTS_BAD;
  return Run("C_FindObjects", [&](SimState& state, bool&) {
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
  return Run("C_FindObjectsFinal", [&](SimState&, bool&) {
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
  if (templ == nullptr && count > 0) return CKR_ARGUMENTS_BAD;
  return Run("C_GetAttributeValue", [&](SimState& state, bool&) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    Session* session = nullptr;
    if (CK_RV rv = SessionSlot(state, handle, &session); rv != CKR_OK) return rv;
    SimObject* object = state.FindObject(static_cast<uint32_t>(session->slot), static_cast<uint32_t>(id));
    if (object == nullptr) return CKR_OBJECT_HANDLE_INVALID;
    CK_RV result = CKR_OK;
    for (CK_ULONG i = 0; i < count; ++i) {
      CK_RV rv = FillAttribute(*object, templ[i]);
      if (rv != CKR_OK) result = rv;
    }
    return result;
  });
}

CK_RV Sim_SetAttributeValue(CK_SESSION_HANDLE handle, CK_OBJECT_HANDLE id, CK_ATTRIBUTE* templ, CK_ULONG count) {
  if (templ == nullptr && count > 0) return CKR_ARGUMENTS_BAD;
  return Run("C_SetAttributeValue", [&](SimState& state, bool& changed) {
    std::lock_guard<std::mutex> hold(TheModule().mutex);
    Session* session = nullptr;
    if (CK_RV rv = SessionSlot(state, handle, &session); rv != CKR_OK) return rv;
    SimObject* object = state.FindObject(static_cast<uint32_t>(session->slot), static_cast<uint32_t>(id));
    if (object == nullptr) return CKR_OBJECT_HANDLE_INVALID;
    SimObject edited = *object;
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
    *object = edited;
    changed = true;
    return CKR_OK;
  });
}

// The next event this process has not seen, if any.
std::optional<SimEvent> NextEvent() {
  std::optional<SimEvent> next;
  SimState state = ReadState();
  std::lock_guard<std::mutex> hold(TheModule().mutex);
  for (const SimEvent& event : state.events) {
    if (event.sequence > TheModule().lastSequence) {
      next = event;
      TheModule().lastSequence = event.sequence;
      break;
    }
  }
  return next;
}

CK_RV WaitForTokenEvent(CK_FLAGS, CK_SLOT_ID* slot, CK_ULONG* code, CK_ULONG* data, void*) {
  if (slot == nullptr || code == nullptr || data == nullptr) return CKR_ARGUMENTS_BAD;
  Module& module = TheModule();
  for (;;) {
    if (!module.initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
    if (CK_RV failure = ArmedFailure("WaitForTokenEvent"); failure != CKR_OK) return failure;
    if (std::optional<SimEvent> event = NextEvent()) {
      *slot = event->slot;
      *code = event->code;
      if (event->hasData) *data = event->data;
      return CKR_OK;
    }
    HANDLE events[] = {module.finalized.get(), module.wake.get()};
    if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) return CKR_CRYPTOKI_NOT_INITIALIZED;
  }
}

CK_RV NotSupported() { return CKR_FUNCTION_NOT_SUPPORTED; }

// Entries the program never calls answer "not supported"; with the C calling convention
// the caller removes the arguments, so one body serves every signature.
template <typename Entry>
Entry Unsupported() {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(&NotSupported));
}

CK_FUNCTION_LIST MakeFunctionList();

CK_FUNCTION_LIST functionList = MakeFunctionList();

CK_RV Sim_GetFunctionList(CK_FUNCTION_LIST** list);

CK_FUNCTION_LIST MakeFunctionList() {
  CK_FUNCTION_LIST list{};
  list.version = {2, 40};
#define TOKENSIM_UNSUPPORTED(name) list.name = Unsupported<CK_##name>();
  TOKENSIM_UNSUPPORTED(C_InitToken)
  TOKENSIM_UNSUPPORTED(C_InitPIN)
  TOKENSIM_UNSUPPORTED(C_SetPIN)
  TOKENSIM_UNSUPPORTED(C_GetMechanismList)
  TOKENSIM_UNSUPPORTED(C_GetMechanismInfo)
  TOKENSIM_UNSUPPORTED(C_GetSessionInfo)
  TOKENSIM_UNSUPPORTED(C_GetOperationState)
  TOKENSIM_UNSUPPORTED(C_SetOperationState)
  TOKENSIM_UNSUPPORTED(C_Login)
  TOKENSIM_UNSUPPORTED(C_Logout)
  TOKENSIM_UNSUPPORTED(C_CreateObject)
  TOKENSIM_UNSUPPORTED(C_CopyObject)
  TOKENSIM_UNSUPPORTED(C_DestroyObject)
  TOKENSIM_UNSUPPORTED(C_GetObjectSize)
  TOKENSIM_UNSUPPORTED(C_EncryptInit)
  TOKENSIM_UNSUPPORTED(C_Encrypt)
  TOKENSIM_UNSUPPORTED(C_EncryptUpdate)
  TOKENSIM_UNSUPPORTED(C_EncryptFinal)
  TOKENSIM_UNSUPPORTED(C_DecryptInit)
  TOKENSIM_UNSUPPORTED(C_Decrypt)
  TOKENSIM_UNSUPPORTED(C_DecryptUpdate)
  TOKENSIM_UNSUPPORTED(C_DecryptFinal)
  TOKENSIM_UNSUPPORTED(C_DigestInit)
  TOKENSIM_UNSUPPORTED(C_Digest)
  TOKENSIM_UNSUPPORTED(C_DigestUpdate)
  TOKENSIM_UNSUPPORTED(C_DigestKey)
  TOKENSIM_UNSUPPORTED(C_DigestFinal)
  TOKENSIM_UNSUPPORTED(C_SignInit)
  TOKENSIM_UNSUPPORTED(C_Sign)
  TOKENSIM_UNSUPPORTED(C_SignUpdate)
  TOKENSIM_UNSUPPORTED(C_SignFinal)
  TOKENSIM_UNSUPPORTED(C_SignRecoverInit)
  TOKENSIM_UNSUPPORTED(C_SignRecover)
  TOKENSIM_UNSUPPORTED(C_VerifyInit)
  TOKENSIM_UNSUPPORTED(C_Verify)
  TOKENSIM_UNSUPPORTED(C_VerifyUpdate)
  TOKENSIM_UNSUPPORTED(C_VerifyFinal)
  TOKENSIM_UNSUPPORTED(C_VerifyRecoverInit)
  TOKENSIM_UNSUPPORTED(C_VerifyRecover)
  TOKENSIM_UNSUPPORTED(C_DigestEncryptUpdate)
  TOKENSIM_UNSUPPORTED(C_DecryptDigestUpdate)
  TOKENSIM_UNSUPPORTED(C_SignEncryptUpdate)
  TOKENSIM_UNSUPPORTED(C_DecryptVerifyUpdate)
  TOKENSIM_UNSUPPORTED(C_GenerateKey)
  TOKENSIM_UNSUPPORTED(C_GenerateKeyPair)
  TOKENSIM_UNSUPPORTED(C_WrapKey)
  TOKENSIM_UNSUPPORTED(C_UnwrapKey)
  TOKENSIM_UNSUPPORTED(C_DeriveKey)
  TOKENSIM_UNSUPPORTED(C_SeedRandom)
  TOKENSIM_UNSUPPORTED(C_GenerateRandom)
  TOKENSIM_UNSUPPORTED(C_GetFunctionStatus)
  TOKENSIM_UNSUPPORTED(C_CancelFunction)
  TOKENSIM_UNSUPPORTED(C_WaitForSlotEvent)
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

CK_RV Sim_GetFunctionList(CK_FUNCTION_LIST** list) {
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  if (CK_RV failure = ArmedFailure("C_GetFunctionList"); failure != CKR_OK) return failure;
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

}  // namespace

}  // namespace tokensim

extern "C" {

CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) { return tokensim::Sim_GetFunctionList(list); }

__declspec(dllexport) CK_RV E_GetAuxFunctionList(const void** list) {
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  if (CK_RV failure = tokensim::ArmedFailure("E_GetAuxFunctionList"); failure != CKR_OK) return failure;
  tokensim::SimState state = tokensim::ReadState();
  *list = state.auxWaitMissing ? &tokensim::auxListWithoutWait : &tokensim::auxList;
  return CKR_OK;
}
}
