#pragma once
// The one object through which the program reaches the token.

#include <windows.h>

#include <string>

#include "token/pkcs11.h"

namespace tessard {

class TokenAccess {
 public:
  TokenAccess();
  ~TokenAccess();
  TokenAccess(const TokenAccess&) = delete;
  TokenAccess& operator=(const TokenAccess&) = delete;

  CK_RV Open();
  CK_RV Close();
  CK_RV StartMonitor(HWND window, UINT message);

  bool HasTokens() const;
  bool IsSlotKnown(CK_SLOT_ID slot) const;
  void OnTokenInserted(CK_SLOT_ID slot, const std::wstring& url);
  void OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser);
  void LaunchInfoPage(CK_SLOT_ID slot, const std::wstring& url);

  void OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object);
  void OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object);
  bool UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList);
  bool PurgeProviderCertificates();
  bool CheckExpiry(CK_SLOT_ID slot, int days);
};

}  // namespace tessard
