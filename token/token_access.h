#pragma once
// The one object through which the program reaches the token: it loads the token's PKCS#11
// module, keeps the table of inserted tokens, runs the event monitor, and hands what it
// reads from a token to the store side, which registers and removes certificates.

#include <windows.h>

#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "certstore/user_stores.h"
#include "token/slot_entry.h"
#include "token/token_access_interface.h"
#include "token/token_module.h"
#include "token/token_monitor.h"

namespace tessard {

// A program that writes a certificate to the token writes its "MY" entry too; the pause
// gives it time to finish that entry, whose friendly name the token object then receives.
inline constexpr DWORD kDefaultTwinSettleMs = 500;
// How long Close waits for the monitor once the module is finalised: a module whose wait
// does not return then is left to the end of the process.
inline constexpr DWORD kMonitorEndLimitMs = 5000;

struct TokenAccessOptions {
  // Where the token module is loaded from, with its final backslash: only that file of that
  // name is loaded, never one the current folder or PATH holds. The program's own folder when
  // empty.
  std::wstring moduleFolder;
  // The "MY" entries name the key storage provider (the card type's, else the product's),
  // with provider type 0, instead of the cryptographic service provider.
  bool keyStorageProvider = false;
  // The pause that lets another program finish the "MY" entry of a certificate it writes to
  // the token; tests that write none need not wait for it.
  DWORD twinSettleMs = kDefaultTwinSettleMs;
};

class TokenAccess final : public TokenAccessInterface {
 public:
  TokenAccess() = default;
  explicit TokenAccess(DWORD settleMs)
      : options({.moduleFolder = {}, .keyStorageProvider = false, .twinSettleMs = settleMs}) {}
  explicit TokenAccess(TokenAccessOptions accessOptions) : options(std::move(accessOptions)) {}
  // A module still loaded would keep the monitor blocked in its wait for ever.
  ~TokenAccess() override;
  TokenAccess(const TokenAccess&) = delete;
  TokenAccess& operator=(const TokenAccess&) = delete;

  CK_RV Open() override;
  CK_RV Close() override;
  CK_RV StartMonitor(HWND window, UINT message) override;

  bool HasTokens() const override;
  bool IsSlotKnown(CK_SLOT_ID slot) const override;
  bool OnTokenInserted(CK_SLOT_ID slot, const std::wstring& url) override;
  std::vector<CK_SLOT_ID> SlotsReadInPart() const override;
  bool HoldsAnotherToken(CK_SLOT_ID slot) override;
  void OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) override;
  void LaunchInfoPage(CK_SLOT_ID slot, const std::wstring& url) override;

  bool OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) override;
  void OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) override;
  bool UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList) override;
  bool PurgeProviderCertificates() override;
  bool CheckExpiry(CK_SLOT_ID slot, int days) override;

  // The reader name of the slot's token; empty for an unknown slot.
  std::wstring ReaderNameOfSlot(CK_SLOT_ID slot) const;
  // A copy of the certificates read from the slot's token (empty for an unknown slot).
  std::vector<TokenCertificate> CertificatesOfSlot(CK_SLOT_ID slot) const;

 private:
  CK_RV LoadAllSlots();
  // The tokens listed as present; the list may change between the length query and the read.
  CK_RV ListTokenSlots(std::vector<CK_SLOT_ID>& slots) const;
  // Reads the token and enters it in place of what the slot held, with its certificates
  // registered when `registering`. False when it could not be read whole.
  bool LoadSlot(CK_SLOT_ID slot, const CK_SLOT_INFO& info, std::optional<std::string> serialNumber, bool registering);

  // The members below run with `lock` held.
  void RegisterSlotCertificates(UserStores& stores, SlotEntry& entry);
  // Takes the certificates' "MY" entries out and registers each again for another token
  // that carries it too. When "MY" does not open, they are kept for the next operation.
  void UnregisterCertificates(UserStores& stores, const TokenFacts& token,
                              const std::vector<TokenCertificate>& certificates);
  // Takes out what earlier operations could not; every operation that opens the stores
  // under `lock` calls it first.
  void UnregisterUnreached(UserStores& stores);
  void RemoveSlot(std::list<SlotEntry>::iterator entry, bool closeBrowser);

  const TokenAccessOptions options;
  TokenModule module;
  TokenMonitor monitor;
  // `lock` guards the slot table. Every public member takes it once and the members above
  // expect it held, so it is never taken twice on one thread. The token is read without it
  // (LoadSlot reads aside and enters the whole entry under it), except by OnObjectCreated,
  // which holds it throughout so that a removal waits for it.
  std::list<SlotEntry> slots;
  // Slots with a token at start-up that could not be read at all.
  std::vector<CK_SLOT_ID> unreadSlots;
  // Certificates of tokens gone whose "MY" entries could not be taken out, as the store did
  // not open, with what they were registered for.
  struct Unreached {
    TokenFacts token;
    std::vector<TokenCertificate> certificates;
  };
  std::vector<Unreached> unreached;
  mutable std::mutex lock;
};

}  // namespace tessard
