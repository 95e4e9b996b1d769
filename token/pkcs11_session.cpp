#include "token/pkcs11_session.h"

namespace tessard {

namespace {

// No certificate or key attribute comes near this; a larger length is a broken module.
constexpr CK_ULONG kLargestAttribute = 1 << 20;

}  // namespace

Pkcs11Session::Pkcs11Session(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot)
    : functions_(functions),
      openStatus_(functions->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &handle_)) {
  open_ = openStatus_ == CKR_OK;
}

Pkcs11Session::~Pkcs11Session() { Close(); }

CK_RV Pkcs11Session::Close() {
  if (!open_) return CKR_OK;
  open_ = false;
  return functions_->C_CloseSession(handle_);
}

FindOperation::FindOperation(const Pkcs11Session& session, CK_ATTRIBUTE* templ, CK_ULONG count)
    : session_(session),
      initStatus_(session.functions()->C_FindObjectsInit(session.get(), templ, count)),
      active_(initStatus_ == CKR_OK) {}

FindOperation::~FindOperation() { Finish(); }

bool FindOperation::Next(CK_OBJECT_HANDLE& object, CK_RV& status) {
  if (initStatus_ != CKR_OK) {
    status = initStatus_;
    return false;
  }
  CK_ULONG found = 0;
  status = session_.functions()->C_FindObjects(session_.get(), &object, 1, &found);
  return status == CKR_OK && found == 1;
}

void FindOperation::Finish() {
  if (active_) session_.functions()->C_FindObjectsFinal(session_.get());
  active_ = false;
}

CK_RV ReadAttributes(const Pkcs11Session& session, CK_OBJECT_HANDLE object,
                     std::initializer_list<AttributeRead> attributes, AttributeValues& values) {
  std::vector<CK_ATTRIBUTE> lengths;
  for (const AttributeRead& attribute : attributes) lengths.push_back({attribute.type, nullptr, 0});
  CK_RV rv = session.functions()->C_GetAttributeValue(session.get(), object, lengths.data(),
                                                      static_cast<CK_ULONG>(lengths.size()));
  // These two only mark some attributes unavailable: the module answers every other one
  // of the same call all the same.
  if (rv != CKR_OK && rv != CKR_ATTRIBUTE_TYPE_INVALID && rv != CKR_ATTRIBUTE_SENSITIVE) return rv;
  values.assign(lengths.size(), std::nullopt);
  std::vector<CK_ATTRIBUTE> reads;
  std::vector<size_t> readFor;
  size_t index = 0;
  for (const AttributeRead& attribute : attributes) {
    const CK_ULONG length = lengths[index].ulValueLen;
    if (length == CK_UNAVAILABLE_INFORMATION) {
      if (!attribute.optional) return rv != CKR_OK ? rv : CKR_ATTRIBUTE_TYPE_INVALID;
    } else {
      if (length > kLargestAttribute) return CKR_HOST_MEMORY;
      values[index].emplace(length + 1, 0);
      reads.push_back({attribute.type, values[index]->data(), length});
      readFor.push_back(index);
    }
    ++index;
  }
  if (reads.empty()) return CKR_OK;
  rv = session.functions()->C_GetAttributeValue(session.get(), object, reads.data(),
                                                static_cast<CK_ULONG>(reads.size()));
  if (rv != CKR_OK) return rv;
  for (size_t i = 0; i < reads.size(); ++i) {
    std::vector<uint8_t>& value = *values[readFor[i]];
    // A second length beyond the first one means the module misreported; its value is not
    // to be trusted.
    if (reads[i].ulValueLen >= value.size()) return CKR_GENERAL_ERROR;
    value.resize(reads[i].ulValueLen);
  }
  return CKR_OK;
}

}  // namespace tessard
