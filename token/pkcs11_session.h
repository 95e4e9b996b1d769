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

// One C_FindObjectsInit .. C_FindObjectsFinal.
class FindOperation {
 public:
  FindOperation(const Pkcs11Session& session, CK_ATTRIBUTE* templ, CK_ULONG count);
  ~FindOperation();
  FindOperation(const FindOperation&) = delete;
  FindOperation& operator=(const FindOperation&) = delete;

  // Appends every object the search finds, many for each call; the failure of the search's
  // start or of a step otherwise, with what came before it appended.
  CK_RV All(std::vector<CK_OBJECT_HANDLE>& objects);
  void Finish();

 private:
  const Pkcs11Session& session_;
  CK_RV initStatus_;
  bool active_;
};

// One attribute of a read: an optional one may be missing from the object; `expected` is a
// buffer size that an ordinary object's value fits.
struct AttributeRead {
  CK_ATTRIBUTE_TYPE type;
  bool optional = false;
  CK_ULONG expected = 0;
};

using AttributeValues = std::vector<std::optional<std::vector<uint8_t>>>;

// The attributes in one call into buffers of their expected sizes; only those that do not fit
// (CKR_BUFFER_TOO_SMALL) are asked again, their lengths first, then into zero-filled buffers
// of length + 1. `values` gets one entry per attribute, cut to the length read; an optional
// attribute that the object lacks or keeps secret stays empty, a required one fails the read.
CK_RV ReadAttributes(const Pkcs11Session& session, CK_OBJECT_HANDLE object,
                     std::initializer_list<AttributeRead> attributes, AttributeValues& values);

}  // namespace tessard
