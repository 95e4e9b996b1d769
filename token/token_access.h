#pragma once
// The one object through which the program reaches the token: it loads the token's
// PKCS#11 module, keeps the table of inserted tokens and runs the event monitor.

#include <windows.h>

#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/thread.h"
#include "token/pkcs11.h"
#include "token/slot_entry.h"

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
  bool IsTokenPresent(CK_SLOT_ID slot) const;
  std::wstring ReaderNameOfSlot(CK_SLOT_ID slot) const;
  // A copy of the certificates read from the slot's token (empty for an unknown slot).
  std::vector<TokenCertificate> CertificatesOfSlot(CK_SLOT_ID slot) const;
  void OnTokenInserted(CK_SLOT_ID slot, const std::wstring& url);
  void OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser);
  void LaunchInfoPage(CK_SLOT_ID slot, const std::wstring& url);

  void OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object);
  void OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object);
  bool UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList);
  bool PurgeProviderCertificates();
  bool CheckExpiry(CK_SLOT_ID slot, int days);

 private:
  static int32_t MonitorThreadProc(void* parameter);
  CK_RV LoadAllSlots();
  CK_RV LoadSlot(CK_SLOT_ID slot);
  CK_RV ReadCertificates(SlotEntry& entry);
  void RemoveSlot(CK_SLOT_ID slot, bool closeBrowser);
  bool RegisterSlotCertificates(CK_SLOT_ID slot);
  bool RegisterCertificate(CK_SLOT_ID slot, TokenCertificate& certificate);
  bool IsUserCertificate(CK_SLOT_ID slot, const TokenCertificate& certificate) const;
  CK_RV FindKeySpec(CK_SLOT_ID slot, const TokenCertificate& certificate, DWORD& keySpec) const;
  std::optional<std::vector<uint8_t>> ReadFriendlyName(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) const;
  bool LookupCardProvider(CK_SLOT_ID slot, std::wstring& provider);
  bool UnregisterCertificate(CK_SLOT_ID slot, const TokenCertificate& certificate);
  bool ReregisterOnOtherSlots(const TokenCertificate& certificate);
  CK_RV ResolveFunctionLists();
  void UnloadModule();
  SlotEntry* FindSlot(CK_SLOT_ID slot);
  const SlotEntry* FindSlot(CK_SLOT_ID slot) const;

  UniqueModule module;
  CK_FUNCTION_LIST* functions = nullptr;
  const void* auxFunctions = nullptr;
  HWND notifyWindow = nullptr;
  UINT notifyMessage = 0;
  Thread monitorThread;
  wchar_t providerName[260] = {};
  // Guards `slots`: held over every read and every change of the table, on the UI thread
  // (insertion, removal, queries) and on the dialog's worker (object events) alike. The
  // token is read without it: LoadSlot builds its entry aside and takes the lock only to
  // append it, so a slow token never blocks the worker and the worker never sees an
  // entry that is still being filled. Recursive, because registration under the lock
  // asks the table again.
  std::list<SlotEntry> slots;
  mutable std::recursive_mutex lock;
};

}  // namespace tessard
