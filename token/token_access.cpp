#include "token/token_access.h"

#include <algorithm>

#include "certstore/expiry.h"
#include "certstore/registration.h"
#include "certstore/removal.h"
#include "platform/system_version.h"
#include "token/card_provider.h"
#include "token/info_page.h"
#include "token/product_info.h"
#include "token/token_reading.h"

namespace tessard {

namespace {

using Guard = std::lock_guard<std::mutex>;

bool SameValue(const CertificateFacts& a, const CertificateFacts& b) { return a.value == b.value; }

// The slot's entry in the table, const or not as the table; null when there is none.
template <typename Slots>
auto FindIn(Slots& slots, CK_SLOT_ID slot) {
  auto it = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  return it == slots.end() ? nullptr : &*it;
}

}  // namespace

TokenAccess::~TokenAccess() { Close(); }

CK_RV TokenAccess::Open() {
  if (module.IsLoaded()) return CKR_OK;
  {
    Guard hold(lock);
    providerName = kProductInfo.providerName;
  }
  PurgeProviderCertificates();
  if (CK_RV rv = module.Load(kProductInfo.moduleFileName); rv != CKR_OK) return rv;
  return LoadAllSlots();
}

CK_RV TokenAccess::Close() {
  if (!module.IsLoaded()) return CKR_OK;
  monitor.Stop([this] { module.Finalize(); });
  {
    Guard hold(lock);
    slots.clear();
  }
  module.Unload();
  return CKR_OK;
}

CK_RV TokenAccess::StartMonitor(HWND window, UINT message) {
  return monitor.Start(module.WaitEntry(), window, message);
}

bool TokenAccess::HasTokens() const {
  Guard hold(lock);
  return !slots.empty();
}

bool TokenAccess::IsSlotKnown(CK_SLOT_ID slot) const {
  Guard hold(lock);
  return FindIn(slots, slot) != nullptr;
}

std::wstring TokenAccess::ReaderNameOfSlot(CK_SLOT_ID slot) const {
  Guard hold(lock);
  const SlotEntry* entry = FindIn(slots, slot);
  return entry != nullptr ? entry->readerName : std::wstring();
}

std::vector<TokenCertificate> TokenAccess::CertificatesOfSlot(CK_SLOT_ID slot) const {
  Guard hold(lock);
  const SlotEntry* entry = FindIn(slots, slot);
  return entry != nullptr ? entry->certificates : std::vector<TokenCertificate>();
}

CK_RV TokenAccess::LoadAllSlots() {
  {
    Guard hold(lock);
    slots.clear();
    unreadSlots.clear();
  }
  CK_FUNCTION_LIST* functions = module.Functions();
  CK_ULONG count = 0;
  if (CK_RV rv = functions->C_GetSlotList(CK_TRUE, nullptr, &count); rv != CKR_OK) return rv;
  if (count == 0) return CKR_OK;
  std::vector<CK_SLOT_ID> list(count);
  CK_ULONG listed = count;
  const CK_RV rv = functions->C_GetSlotList(CK_TRUE, list.data(), &listed);
  if (rv != CKR_OK || listed != count) return rv;
  for (CK_SLOT_ID slot : list) {
    CK_SLOT_INFO info = {};
    if (functions->C_GetSlotInfo(slot, &info) != CKR_OK) {
      // Listed with a token, so there is one to read once the module answers.
      Guard hold(lock);
      unreadSlots.push_back(slot);
      continue;
    }
    if ((info.flags & CKF_TOKEN_PRESENT) == 0) continue;
    // The serial number only tells tokens apart later; without it the token is read again.
    CK_TOKEN_INFO tokenInfo = {};
    const bool identified = functions->C_GetTokenInfo(slot, &tokenInfo) == CKR_OK;
    // Tokens present at start-up are registered whether initialised or not.
    const bool whole = LoadSlot(slot, info, identified ? SerialNumberOf(tokenInfo) : std::string(), true);
    if (!identified || !whole) {
      Guard hold(lock);
      if (SlotEntry* entry = FindIn(slots, slot)) {
        entry->readWhole = false;
      } else {
        unreadSlots.push_back(slot);
      }
    }
  }
  // A slot that could not be asked about is read again later; the module itself is open.
  return CKR_OK;
}

bool TokenAccess::OnTokenInserted(CK_SLOT_ID slot, const std::wstring&) {
  CK_FUNCTION_LIST* functions = module.Functions();
  if (functions == nullptr) return true;
  CK_SLOT_INFO slotInfo = {};
  if (functions->C_GetSlotInfo(slot, &slotInfo) != CKR_OK) return false;
  if ((slotInfo.flags & CKF_TOKEN_PRESENT) == 0) return true;
  CK_TOKEN_INFO tokenInfo = {};
  if (functions->C_GetTokenInfo(slot, &tokenInfo) != CKR_OK) return false;
  const std::string serialNumber = SerialNumberOf(tokenInfo);
  {
    Guard hold(lock);
    const SlotEntry* known = FindIn(slots, slot);
    // The same token, read whole: a second insertion event changes nothing.
    if (known != nullptr && known->serialNumber == serialNumber && known->readWhole) return true;
  }
  const bool whole = LoadSlot(slot, slotInfo, serialNumber, (tokenInfo.flags & CKF_TOKEN_INITIALIZED) != 0);
  if (whole) {
    Guard hold(lock);
    std::erase(unreadSlots, slot);
  }
  return whole;
}

std::vector<CK_SLOT_ID> TokenAccess::SlotsReadInPart() const {
  Guard hold(lock);
  std::vector<CK_SLOT_ID> partly = unreadSlots;
  for (const SlotEntry& entry : slots) {
    if (!entry.readWhole) partly.push_back(entry.slot);
  }
  return partly;
}

bool TokenAccess::HoldsAnotherToken(CK_SLOT_ID slot) {
  CK_FUNCTION_LIST* functions = module.Functions();
  if (functions == nullptr || !IsSlotKnown(slot)) return false;
  CK_TOKEN_INFO tokenInfo = {};
  if (functions->C_GetTokenInfo(slot, &tokenInfo) != CKR_OK) return false;
  Guard hold(lock);
  const SlotEntry* known = FindIn(slots, slot);
  return known != nullptr && known->serialNumber != SerialNumberOf(tokenInfo);
}

bool TokenAccess::LoadSlot(CK_SLOT_ID slot, const CK_SLOT_INFO& info, const std::string& serialNumber,
                           bool registering) {
  std::optional<SlotEntry> read = ReadToken(module.Functions(), slot, info);
  if (!read) return false;
  read->serialNumber = serialNumber;
  // The same card serves every certificate of the token.
  read->token.cardProvider = LookupCardProvider(read->readerName);
  Guard hold(lock);
  UserStores stores;
  UnregisterUnreached(stores);
  auto earlier = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  if (earlier != slots.end()) {
    // What was registered from an earlier, partial or other, read of the slot goes first.
    UnregisterCertificates(stores, earlier->readerName, earlier->certificates);
    if (earlier->serialNumber == serialNumber) {
      // The page is opened once per insertion of a token, and this is the same insertion.
      read->browserProcess = std::move(earlier->browserProcess);
      read->browserThreadId = earlier->browserThreadId;
    }
    slots.erase(earlier);
  }
  SlotEntry& entry = slots.emplace_back(std::move(*read));
  if (registering) RegisterSlotCertificates(stores, entry);
  return entry.readWhole;
}

bool TokenAccess::RegisterCertificate(UserStores& stores, const SlotEntry& entry, TokenCertificate& certificate) {
  if (entry.token.cardProvider) providerName = *entry.token.cardProvider;
  return tessard::RegisterCertificate(stores, entry.token, providerName, certificate);
}

void TokenAccess::RegisterSlotCertificates(UserStores& stores, SlotEntry& entry) {
  for (TokenCertificate& certificate : entry.certificates) RegisterCertificate(stores, entry, certificate);
}

void TokenAccess::UnregisterCertificates(UserStores& stores, const std::wstring& readerName,
                                         const std::vector<TokenCertificate>& certificates) {
  std::vector<RegisteredKey> keys;
  for (const TokenCertificate& certificate : certificates) {
    if (auto key = RegisteredKeyOf(providerName, readerName, certificate)) keys.push_back(std::move(*key));
  }
  if (!UnregisterKeys(stores, keys)) {
    // Left in "MY", they would name a key that is gone until the program next starts.
    unreached.push_back({readerName, certificates});
    return;
  }
  for (const TokenCertificate& certificate : certificates) {
    for (SlotEntry& other : slots) {
      if (other.slot == certificate.slot) continue;
      for (TokenCertificate& twin : other.certificates) {
        if (SameValue(twin, certificate)) RegisterCertificate(stores, other, twin);
      }
    }
  }
}

void TokenAccess::UnregisterUnreached(UserStores& stores) {
  std::vector<Unreached> pending;
  pending.swap(unreached);
  for (const Unreached& gone : pending) UnregisterCertificates(stores, gone.readerName, gone.certificates);
}

void TokenAccess::OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) {
  // One hold over both steps: an object event handled between them would register a
  // certificate of the departing token again, and nothing would take that entry out.
  Guard hold(lock);
  auto entry = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  if (entry == slots.end()) return;
  UserStores stores;
  UnregisterUnreached(stores);
  UnregisterCertificates(stores, entry->readerName, entry->certificates);
  RemoveSlot(entry, closeBrowser);
}

void TokenAccess::RemoveSlot(std::list<SlotEntry>::iterator entry, bool closeBrowser) {
  if (closeBrowser) {
    if (IsWindows9xFamily()) {
      if (entry->browserProcess) ::TerminateProcess(entry->browserProcess.get(), 1);
    } else if (entry->browserThreadId != 0) {
      ::EnumThreadWindows(entry->browserThreadId, CloseWindowProc, 0);
    }
  }
  slots.erase(entry);
}

bool TokenAccess::UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList) {
  Guard hold(lock);
  SlotEntry* entry = FindIn(slots, slot);
  if (entry == nullptr) return true;
  UserStores stores;
  UnregisterUnreached(stores);
  UnregisterCertificates(stores, entry->readerName, entry->certificates);
  if (clearList) entry->certificates.clear();
  return true;
}

void TokenAccess::LaunchInfoPage(CK_SLOT_ID slot, const std::wstring& url) {
  if (url.empty()) return;
  Guard hold(lock);
  SlotEntry* entry = FindIn(slots, slot);
  // Once per insertion of the token.
  if (entry == nullptr || entry->browserProcess) return;
  if (std::optional<StartedBrowser> browser = OpenInfoPage(url)) {
    entry->browserProcess = std::move(browser->process);
    entry->browserThreadId = browser->threadId;
  }
}

void TokenAccess::OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) {
  CK_FUNCTION_LIST* functions = module.Functions();
  if (functions == nullptr) return;
  Guard hold(lock);
  SlotEntry* entry = FindIn(slots, slot);
  if (entry == nullptr) return;
  Pkcs11Session session(functions, slot);
  if (session.OpenStatus() != CKR_OK) return;
  CK_OBJECT_CLASS objectClass = 0;
  CK_ATTRIBUTE classTemplate = {CKA_CLASS, &objectClass, sizeof objectClass};
  if (functions->C_GetAttributeValue(session.get(), object, &classTemplate, 1) != CKR_OK ||
      objectClass != CKO_CERTIFICATE) {
    return;
  }
  CK_RV status = CKR_OK;
  std::optional<TokenCertificate> certificate = ReadCertificateObject(session, slot, object, status);
  if (!certificate) return;
  UserStores stores;
  UnregisterUnreached(stores);
  const HCERTSTORE personal = stores.Get(kPersonalStore);
  if (!personal) return;
  ::Sleep(twinSettleMs);
  if (std::optional<CertBytes> twinName = ReadFriendlyNameOfTwin(personal, certificate->value)) {
    CK_ATTRIBUTE name = {CKA_VENDOR_FRIENDLY_NAME, twinName->data(), static_cast<CK_ULONG>(twinName->size())};
    if (functions->C_SetAttributeValue(session.get(), object, &name, 1) != CKR_OK) return;
    certificate->friendlyName = std::move(twinName);
  }
  const bool listed = std::any_of(entry->certificates.begin(), entry->certificates.end(),
                                  [&](const TokenCertificate& c) { return SameValue(c, *certificate); });
  if (listed) return;
  // A key made together with the certificate is on the token by now.
  entry->token.publicKeys = ReadPublicKeys(session);
  RegisterCertificate(stores, *entry, *certificate);
  entry->certificates.push_back(std::move(*certificate));
}

void TokenAccess::OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) {
  Guard hold(lock);
  SlotEntry* entry = FindIn(slots, slot);
  if (entry == nullptr) return;
  auto it = std::find_if(entry->certificates.begin(), entry->certificates.end(),
                         [object](const TokenCertificate& c) { return c.object == object; });
  if (it == entry->certificates.end()) return;
  UserStores stores;
  UnregisterUnreached(stores);
  UnregisterCertificates(stores, entry->readerName, {*it});
  entry->certificates.erase(it);
}

bool TokenAccess::PurgeProviderCertificates() {
  std::wstring provider;
  {
    Guard hold(lock);
    provider = providerName;
  }
  UserStores stores;
  return PurgeProvider(stores, provider);
}

bool TokenAccess::CheckExpiry(CK_SLOT_ID slot, int days) {
  if (days < 0) return false;
  std::vector<CertBytes> values;
  {
    Guard hold(lock);
    if (const SlotEntry* entry = FindIn(slots, slot)) {
      for (const TokenCertificate& certificate : entry->certificates) values.push_back(certificate.value);
    }
  }
  return AnyCertificateExpiresBy(values, days, CurrentUtcTime());
}

}  // namespace tessard
