#pragma once
// Owners for what a token operation opens in the module: its session and its object
// search. Each operation opens its own session and closes it before it returns.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "token/pkcs11.h"

namespace tessard {

class Pkcs11Session {
 public:
  Pkcs11Session(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot);
  ~Pkcs11Session();
  Pkcs11Session(const Pkcs11Session&) = delete;
  Pkcs11Session& operator=(const Pkcs11Session&) = delete;

  CK_RV OpenStatus() const { return openStatus_; }
  CK_SESSION_HANDLE get() const { return handle_; }
  CK_FUNCTION_LIST* functions() const { return functions_; }
  // Closes now and gives C_CloseSession's status; the destructor then does nothing.
  CK_RV Close();

 private:
  CK_FUNCTION_LIST* functions_;
  CK_SESSION_HANDLE handle_ = CK_INVALID_HANDLE;
  CK_RV openStatus_;
  bool open_ = false;
};

// One C_FindObjectsInit .. C_FindObjectsFinal, one object per step.
class FindOperation {
 public:
  FindOperation(const Pkcs11Session& session, CK_ATTRIBUTE* templ, CK_ULONG count);
  ~FindOperation();
  FindOperation(const FindOperation&) = delete;
  FindOperation& operator=(const FindOperation&) = delete;

  // True with the next object; false when the search ran out or the module failed, with
  // the failure (of the search's start too) in `status`.
  bool Next(CK_OBJECT_HANDLE& object, CK_RV& status);
  void Finish();

 private:
  const Pkcs11Session& session_;
  CK_RV initStatus_;
  bool active_;
};

// One attribute of a read; an optional one may be missing from the object.
struct AttributeRead {
  CK_ATTRIBUTE_TYPE type;
  bool optional = false;
};

using AttributeValues = std::vector<std::optional<std::vector<uint8_t>>>;

// The two-call read of variable-length attributes: their lengths first, then zero-filled
// buffers of length + 1. `values` gets one entry per attribute, cut to the length read; an
// optional attribute that the object lacks or keeps secret stays empty, a required one
// fails the read.
CK_RV ReadAttributes(const Pkcs11Session& session, CK_OBJECT_HANDLE object,
                     std::initializer_list<AttributeRead> attributes, AttributeValues& values);

}  // namespace tessard
