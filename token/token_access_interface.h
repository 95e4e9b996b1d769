#pragma once
// What the main dialog asks of token access. The program's TokenAccess answers it; the
// dialog's tests answer it with a recording stand-in.

#include <windows.h>

#include <string>
#include <vector>

#include "token/pkcs11.h"

namespace tessard {

class TokenAccessInterface {
 public:
  virtual ~TokenAccessInterface() = default;

  // 0 when the token module is loaded and the tokens present were read.
  virtual CK_RV Open() = 0;
  // Finalises the module, ends the monitor and only then unloads the module.
  virtual CK_RV Close() = 0;
  // 0 when the monitor runs and posts `message` to `window` for each token event.
  virtual CK_RV StartMonitor(HWND window, UINT message) = 0;

  virtual bool HasTokens() const = 0;
  virtual bool IsSlotKnown(CK_SLOT_ID slot) const = 0;
  // Reads and registers the token in the slot, or a token recorded there that was read only in
  // part or has been replaced by another. False when a module error cut the reading short:
  // calling again while the token stays in tries again.
  virtual bool OnTokenInserted(CK_SLOT_ID slot, const std::wstring& url) = 0;
  // The slots whose tokens Open could read only in part, or not at all.
  virtual std::vector<CK_SLOT_ID> SlotsReadInPart() const = 0;
  // True when the slot's recorded token is not the one in it now (a removal went unreported).
  virtual bool HoldsAnotherToken(CK_SLOT_ID slot) = 0;
  virtual void OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) = 0;
  virtual void LaunchInfoPage(CK_SLOT_ID slot, const std::wstring& url) = 0;

  // Registers a certificate written to the token. False when a module error kept it from
  // being registered: the slot is then read again like one read in part.
  virtual bool OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) = 0;
  virtual void OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) = 0;
  // Always true.
  virtual bool UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList) = 0;
  // Takes out of "MY" every entry still as Tessard wrote it.
  virtual bool PurgeProviderCertificates() = 0;
  // True when a certificate of the slot's token expires within `days` or has expired; each
  // certificate counts at its first check of the token's insertion only.
  virtual bool CheckExpiry(CK_SLOT_ID slot, int days) = 0;
};

}  // namespace tessard
