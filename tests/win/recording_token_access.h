#pragma once
// A stand-in for token access that records what the main dialog asks of it, and on which
// thread, and answers as the test tells it.

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "token/token_access_interface.h"

namespace tessard::testing {

struct TokenCall {
  std::string name;
  unsigned long slot;
  unsigned long data;
  DWORD thread;
};

struct TokenAnswers {
  unsigned long open = 0;
  unsigned long startMonitor = 0;
  bool hasTokens = false;
  bool slotKnown = false;
  bool expiring = false;
  bool readWhole = true;         // what OnTokenInserted answers
  bool knownOnceRead = false;    // a whole read makes the slot known
  bool anotherToken = false;     // what HoldsAnotherToken answers
  bool objectRegistered = true;  // what OnObjectCreated answers
  std::vector<CK_SLOT_ID> readInPart;
};

class RecordingTokenAccess : public TokenAccessInterface {
 public:
  TokenAnswers answers;

  std::vector<TokenCall> Calls() const;
  std::vector<TokenCall> Calls(const std::string& name) const;
  void ClearCalls();

  CK_RV Open() override;
  CK_RV Close() override;
  CK_RV StartMonitor(HWND window, UINT message) override;
  bool HasTokens() const override { return answers.hasTokens; }
  bool IsSlotKnown(CK_SLOT_ID) const override { return answers.slotKnown; }
  bool OnTokenInserted(CK_SLOT_ID slot, const std::wstring& url) override;
  std::vector<CK_SLOT_ID> SlotsReadInPart() const override { return answers.readInPart; }
  bool HoldsAnotherToken(CK_SLOT_ID slot) override;
  void OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) override;
  void LaunchInfoPage(CK_SLOT_ID slot, const std::wstring& url) override;
  bool OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) override;
  void OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) override;
  bool UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList) override;
  bool PurgeProviderCertificates() override;
  bool CheckExpiry(CK_SLOT_ID slot, int days) override;

 private:
  void Record(const char* name, unsigned long slot = 0, unsigned long data = 0);

  // The worker thread records too.
  mutable std::mutex callsMutex_;
  std::vector<TokenCall> calls_;
};

}  // namespace tessard::testing
