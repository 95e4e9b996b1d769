#pragma once
// The table of inserted tokens: one entry per slot that holds a token, with what was read
// from it.

#include <windows.h>

#include <string>
#include <vector>

#include "certstore/certificate_facts.h"
#include "platform/handles.h"
#include "token/pkcs11.h"

namespace tessard {

// A certificate object as read from its token.
struct TokenCertificate : CertificateFacts {
  CK_SLOT_ID slot = 0;
  CK_OBJECT_HANDLE object = 0;
};

struct SlotEntry {
  CK_SLOT_ID slot = 0;
  // False when a module error cut the read short: what is listed is not all the token holds,
  // and reading it again is worth a try.
  bool readWhole = false;
  TokenFacts token;  // its serial number, reader, provider and public keys
  std::vector<TokenCertificate> certificates;
  // The values whose expiry was checked: a read that finds more warns of those only.
  std::vector<CertBytes> expiryChecked;
  UniqueHandle browserProcess;  // the information page's browser, once started
  DWORD browserThreadId = 0;
};

}  // namespace tessard
