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
                     std::initializer_list<CK_ATTRIBUTE_TYPE> types, std::vector<std::vector<uint8_t>>& values) {
  std::vector<CK_ATTRIBUTE> templ;
  for (CK_ATTRIBUTE_TYPE type : types) templ.push_back({type, nullptr, 0});
  auto count = static_cast<CK_ULONG>(templ.size());
  CK_RV rv = session.functions()->C_GetAttributeValue(session.get(), object, templ.data(), count);
  if (rv != CKR_OK) return rv;
  values.assign(templ.size(), {});
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i].ulValueLen == CK_UNAVAILABLE_INFORMATION) return CKR_ATTRIBUTE_TYPE_INVALID;
    if (templ[i].ulValueLen > kLargestAttribute) return CKR_HOST_MEMORY;
    values[i].assign(templ[i].ulValueLen + 1, 0);
    templ[i].pValue = values[i].data();
  }
  rv = session.functions()->C_GetAttributeValue(session.get(), object, templ.data(), count);
  if (rv != CKR_OK) return rv;
  for (size_t i = 0; i < templ.size(); ++i) {
    // A second length beyond the first one means the module misreported; its value is not
    // to be trusted.
    if (templ[i].ulValueLen >= values[i].size()) return CKR_GENERAL_ERROR;
    values[i].resize(templ[i].ulValueLen);
  }
  return CKR_OK;
}

}  // namespace tessard
