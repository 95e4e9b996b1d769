#pragma once
// The table of inserted tokens: one entry per slot that holds a token, with the
// certificates read from it.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "token/pkcs11.h"

namespace tessard {

struct TokenCertificate {
  CK_SLOT_ID slot = 0;
  CK_OBJECT_HANDLE object = 0;
  std::vector<uint8_t> value;  // DER of the certificate (CKA_VALUE)
  std::vector<uint8_t> id;     // CKA_ID
  std::wstring containerName;
  DWORD keySpec = 0;  // AT_KEYEXCHANGE or AT_SIGNATURE once registered
};

struct SlotEntry {
  CK_SLOT_ID slot = 0;
  std::wstring readerName;
  std::vector<TokenCertificate> certificates;
  UniqueHandle browserProcess;  // the information page's browser, once started
  DWORD browserThreadId = 0;
};

// The slot description without its trailing spaces, from the ANSI code page: the reader's
// name for the smart-card resource manager as well.
std::wstring ReaderNameOf(const CK_SLOT_INFO& info);

// A certificate object read as CKA_ID, CKA_VALUE and CKA_VENDOR_CONTAINER_NAME.
TokenCertificate CertificateOfObject(CK_SLOT_ID slot, CK_OBJECT_HANDLE object,
                                     std::vector<std::vector<uint8_t>>& idValueContainer);

}  // namespace tessard
