#include "token/pkcs11_session.h"

#include <algorithm>

#include "token/module_call.h"

namespace tessard {

namespace {

// No certificate or key attribute comes near this; a larger length is a broken module.
constexpr CK_ULONG kLargestAttribute = 1 << 20;
// Handles asked for at each step of a search.
constexpr CK_ULONG kFindBatch = 64;

// CKR_OK once every required attribute has a value; else why one has none.
CK_RV CheckRequired(const std::vector<AttributeRead>& wanted, const AttributeValues& values, CK_RV reported) {
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (!wanted[i].optional && !values[i]) return reported != CKR_OK ? reported : CKR_ATTRIBUTE_TYPE_INVALID;
  }
  return CKR_OK;
}

}  // namespace

Pkcs11Session::Pkcs11Session(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot)
    : functions_(functions),
      openStatus_(Checked("C_OpenSession", functions->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr,
                                                                    nullptr, &handle_))) {
  open_ = openStatus_ == CKR_OK;
}

Pkcs11Session::~Pkcs11Session() { Close(); }

CK_RV Pkcs11Session::Close() {
  if (!open_) return CKR_OK;
  open_ = false;
  return Checked("C_CloseSession", functions_->C_CloseSession(handle_));
}

FindOperation::FindOperation(const Pkcs11Session& session, CK_ATTRIBUTE* templ, CK_ULONG count)
    : session_(session),
      initStatus_(Checked("C_FindObjectsInit", session.functions()->C_FindObjectsInit(session.get(), templ, count))),
      active_(initStatus_ == CKR_OK) {}

FindOperation::~FindOperation() { Finish(); }

CK_RV FindOperation::All(std::vector<CK_OBJECT_HANDLE>& objects) {
  if (initStatus_ != CKR_OK) return initStatus_;
  // Until the module has nothing more: fewer than asked for need not mean the end.
  for (;;) {
    const size_t had = objects.size();
    objects.resize(had + kFindBatch);
    CK_ULONG found = 0;
    const CK_RV rv = Checked(
        "C_FindObjects", session_.functions()->C_FindObjects(session_.get(), objects.data() + had, kFindBatch, &found));
    objects.resize(had + (rv == CKR_OK ? std::min<CK_ULONG>(found, kFindBatch) : 0));
    if (rv != CKR_OK || found == 0) return rv;
  }
}

void FindOperation::Finish() {
  if (active_) Checked("C_FindObjectsFinal", session_.functions()->C_FindObjectsFinal(session_.get()));
  active_ = false;
}

namespace {

// The attributes' values in buffers of the sizes given; CKR_BUFFER_TOO_SMALL and the two that
// mark attributes unavailable leave the others answered.
CK_RV ReadInto(const Pkcs11Session& session, CK_OBJECT_HANDLE object, std::vector<CK_ATTRIBUTE>& reads) {
  return session.functions()->C_GetAttributeValue(session.get(), object, reads.data(),
                                                  static_cast<CK_ULONG>(reads.size()));
}

bool AnswersTheOthers(CK_RV rv) {
  return rv == CKR_OK || rv == CKR_ATTRIBUTE_TYPE_INVALID || rv == CKR_ATTRIBUTE_SENSITIVE ||
         rv == CKR_BUFFER_TOO_SMALL;
}

}  // namespace

CK_RV ReadAttributes(const Pkcs11Session& session, CK_OBJECT_HANDLE object,
                     std::initializer_list<AttributeRead> attributes, AttributeValues& values) {
  const std::vector<AttributeRead> wanted(attributes);
  values.assign(wanted.size(), std::nullopt);
  std::vector<CK_ATTRIBUTE> reads;
  for (size_t i = 0; i < wanted.size(); ++i) {
    values[i].emplace(wanted[i].expected + 1, 0);
    reads.push_back({wanted[i].type, values[i]->data(), wanted[i].expected});
  }
  const CK_RV first = ReadInto(session, object, reads);
  if (!AnswersTheOthers(first)) return Checked("C_GetAttributeValue", first);
  // Asked again, length first, are those that did not fit, and a required one the module
  // called unavailable with another status: a module may name only one of several reasons.
  std::vector<size_t> again;
  for (size_t i = 0; i < wanted.size(); ++i) {
    const CK_ULONG length = reads[i].ulValueLen;
    if (length == CK_UNAVAILABLE_INFORMATION) {
      if (first == CKR_BUFFER_TOO_SMALL || !wanted[i].optional) again.push_back(i);
      values[i].reset();
    } else if (first == CKR_BUFFER_TOO_SMALL && length > wanted[i].expected) {
      again.push_back(i);
      values[i].reset();
    } else if (length > wanted[i].expected) {
      // Longer than the buffer it filled: the module misreported, and its value is not to be trusted.
      return CKR_GENERAL_ERROR;
    } else {
      values[i]->resize(length);
    }
  }
  if (again.empty()) return first == CKR_BUFFER_TOO_SMALL ? CKR_OK : CheckRequired(wanted, values, first);
  std::vector<CK_ATTRIBUTE> lengths;
  for (size_t i : again) lengths.push_back({wanted[i].type, nullptr, 0});
  CK_RV rv = ReadInto(session, object, lengths);
  if (rv != CKR_OK && rv != CKR_ATTRIBUTE_TYPE_INVALID && rv != CKR_ATTRIBUTE_SENSITIVE) {
    return Checked("C_GetAttributeValue", rv);
  }
  std::vector<CK_ATTRIBUTE> rest;
  std::vector<size_t> restFor;
  for (size_t k = 0; k < again.size(); ++k) {
    const CK_ULONG length = lengths[k].ulValueLen;
    if (length == CK_UNAVAILABLE_INFORMATION) continue;
    if (length > kLargestAttribute) return CKR_HOST_MEMORY;
    std::vector<uint8_t>& value = values[again[k]].emplace(length + 1, 0);
    rest.push_back({wanted[again[k]].type, value.data(), length});
    restFor.push_back(again[k]);
  }
  if (!rest.empty()) {
    if (const CK_RV read = ReadInto(session, object, rest); read != CKR_OK) return Checked("C_GetAttributeValue", read);
    for (size_t k = 0; k < rest.size(); ++k) {
      std::vector<uint8_t>& value = *values[restFor[k]];
      // A second length beyond the first one means the module misreported.
      if (rest[k].ulValueLen >= value.size()) return CKR_GENERAL_ERROR;
      value.resize(rest[k].ulValueLen);
    }
  }
  return CheckRequired(wanted, values, rv == CKR_OK ? first : rv);
}

}  // namespace tessard
