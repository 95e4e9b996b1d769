#include "token/token_access.h"

#include <algorithm>

#include "certstore/expiry.h"
#include "certstore/registration.h"
#include "certstore/removal.h"
#include "platform/executable.h"
#include "platform/system_calls.h"
#include "platform/system_version.h"
#include "platform/trace.h"
#include "token/card_provider.h"
#include "token/info_page.h"
#include "token/module_call.h"
#include "token/product_info.h"
#include "token/token_reading.h"

namespace tessard {

namespace {

using Guard = std::lock_guard<std::mutex>;

// The slot list is read again this often when a token comes or goes between its length
// query and its read.
constexpr int kSlotListTries = 3;

bool SameValue(const CertificateFacts& a, const CertificateFacts& b) { return a.value == b.value; }

// The slot's entry in the table, const or not as the table; null when there is none.
template <typename Slots>
auto FindIn(Slots& slots, CK_SLOT_ID slot) {
  auto it = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  return it == slots.end() ? nullptr : &*it;
}

std::optional<std::string> TokenSerialNumber(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot, CK_TOKEN_INFO& info) {
  if (Checked("C_GetTokenInfo", functions->C_GetTokenInfo(slot, &info)) != CKR_OK) return std::nullopt;
  return SerialNumberOf(info);
}

}  // namespace

TokenAccess::~TokenAccess() { Close(); }

CK_RV TokenAccess::Open() {
  if (module.IsLoaded()) return CKR_OK;
  {
    // Entries of a run that ended without its own purge, killed say, and of earlier versions.
    UserStores stores;
    PurgeOwnEntries(stores, std::wstring_view(kProductInfo.providerName));
  }
  const std::wstring folder = options.moduleFolder.empty() ? ExecutableFolder() : options.moduleFolder;
  if (CK_RV rv = module.Load(folder + kProductInfo.moduleFileName); rv != CKR_OK) return rv;
  return LoadAllSlots();
}

CK_RV TokenAccess::Close() {
  if (!module.IsLoaded()) return CKR_OK;
  const bool ended = monitor.Stop([this] { module.Finalize(); }, kMonitorEndLimitMs);
  {
    Guard hold(lock);
    slots.clear();
  }
  if (ended) {
    module.Unload();
  } else {
    Trace(L"the token module's event wait did not return after C_Finalize; the module stays loaded");
    module.Abandon();
  }
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
  return entry != nullptr ? entry->token.readerName : std::wstring();
}

std::vector<TokenCertificate> TokenAccess::CertificatesOfSlot(CK_SLOT_ID slot) const {
  Guard hold(lock);
  const SlotEntry* entry = FindIn(slots, slot);
  return entry != nullptr ? entry->certificates : std::vector<TokenCertificate>();
}

CK_RV TokenAccess::ListTokenSlots(std::vector<CK_SLOT_ID>& list) const {
  CK_FUNCTION_LIST* functions = module.Functions();
  CK_RV rv = CKR_OK;
  for (int tries = 0; tries < kSlotListTries; ++tries) {
    CK_ULONG count = 0;
    if ((rv = Checked("C_GetSlotList", functions->C_GetSlotList(CK_TRUE, nullptr, &count))) != CKR_OK) return rv;
    list.assign(count, 0);
    if (count == 0) return CKR_OK;
    CK_ULONG listed = count;
    rv = Checked("C_GetSlotList", functions->C_GetSlotList(CK_TRUE, list.data(), &listed));
    // A token that left meanwhile shortens the list; one that came makes it too small.
    if (rv == CKR_OK) {
      list.resize(std::min(listed, count));
      return CKR_OK;
    }
    if (rv != CKR_BUFFER_TOO_SMALL) return rv;
  }
  return rv;
}

CK_RV TokenAccess::LoadAllSlots() {
  {
    Guard hold(lock);
    slots.clear();
    unreadSlots.clear();
  }
  CK_FUNCTION_LIST* functions = module.Functions();
  std::vector<CK_SLOT_ID> list;
  if (CK_RV rv = ListTokenSlots(list); rv != CKR_OK) return rv;
  for (CK_SLOT_ID slot : list) {
    CK_SLOT_INFO info = {};
    if (Checked("C_GetSlotInfo", functions->C_GetSlotInfo(slot, &info)) != CKR_OK) {
      // Listed with a token, so there is one to read once the module answers.
      Guard hold(lock);
      unreadSlots.push_back(slot);
      continue;
    }
    if ((info.flags & CKF_TOKEN_PRESENT) == 0) continue;
    // The serial number only tells tokens apart later; without it the token is read again.
    CK_TOKEN_INFO tokenInfo = {};
    std::optional<std::string> serialNumber = TokenSerialNumber(functions, slot, tokenInfo);
    const bool identified = serialNumber.has_value();
    // Tokens present at start-up are registered whether initialised or not.
    const bool whole = LoadSlot(slot, info, std::move(serialNumber), true);
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
  if (Checked("C_GetSlotInfo", functions->C_GetSlotInfo(slot, &slotInfo)) != CKR_OK) return false;
  if ((slotInfo.flags & CKF_TOKEN_PRESENT) == 0) return true;
  CK_TOKEN_INFO tokenInfo = {};
  std::optional<std::string> serialNumber = TokenSerialNumber(functions, slot, tokenInfo);
  if (!serialNumber) return false;
  {
    Guard hold(lock);
    const SlotEntry* known = FindIn(slots, slot);
    // The same token, read whole: a second insertion event changes nothing.
    if (known != nullptr && known->token.serialNumber == serialNumber && known->readWhole) return true;
  }
  const bool whole = LoadSlot(slot, slotInfo, std::move(serialNumber), (tokenInfo.flags & CKF_TOKEN_INITIALIZED) != 0);
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
  const std::optional<std::string> serialNumber = TokenSerialNumber(functions, slot, tokenInfo);
  if (!serialNumber) return false;
  Guard hold(lock);
  const SlotEntry* known = FindIn(slots, slot);
  // A token recorded while the module would not name it is taken for the same one; its next
  // read learns its name.
  return known != nullptr && known->token.serialNumber && known->token.serialNumber != serialNumber;
}

bool TokenAccess::LoadSlot(CK_SLOT_ID slot, const CK_SLOT_INFO& info, std::optional<std::string> serialNumber,
                           bool registering) {
  std::optional<SlotEntry> read = ReadToken(module.Functions(), slot, info);
  if (!read) return false;
  read->token.serialNumber = std::move(serialNumber);
  // The same card serves every certificate of the token.
  read->token.keyStorageProvider = options.keyStorageProvider;
  read->token.providerName =
      options.keyStorageProvider
          ? LookupCardProvider(read->token.readerName, kKeyStorageProviderValue)
                .value_or(kProductInfo.keyStorageProviderName)
          : LookupCardProvider(read->token.readerName, kCryptoProviderValue).value_or(kProductInfo.providerName);
  Guard hold(lock);
  UserStores stores;
  UnregisterUnreached(stores);
  auto earlier = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  if (earlier != slots.end()) {
    // What was registered from an earlier, partial or other, read of the slot goes first.
    UnregisterCertificates(stores, earlier->token, earlier->certificates);
    const bool sameToken = !earlier->token.serialNumber || earlier->token.serialNumber == read->token.serialNumber;
    if (sameToken) {
      // This is the same insertion: the page is opened once for it, and each certificate
      // warned of once.
      read->browserProcess = std::move(earlier->browserProcess);
      read->browserThreadId = earlier->browserThreadId;
      read->expiryChecked = std::move(earlier->expiryChecked);
    }
    slots.erase(earlier);
  }
  SlotEntry& entry = slots.emplace_back(std::move(*read));
  if (registering) RegisterSlotCertificates(stores, entry);
  return entry.readWhole;
}

void TokenAccess::RegisterSlotCertificates(UserStores& stores, SlotEntry& entry) {
  for (TokenCertificate& certificate : entry.certificates) RegisterCertificate(stores, entry.token, certificate);
}

void TokenAccess::UnregisterCertificates(UserStores& stores, const TokenFacts& token,
                                         const std::vector<TokenCertificate>& certificates) {
  std::vector<RegisteredCertificate> registered;
  for (const TokenCertificate& certificate : certificates) {
    if (std::optional<Registration> registration = RegistrationOf(token, certificate)) {
      registered.push_back({certificate.value, std::move(*registration)});
    }
  }
  if (!tessard::UnregisterCertificates(stores, registered)) {
    // Left in "MY", they would name a key that is gone until the program next starts.
    unreached.push_back({token, certificates});
    return;
  }
  for (const TokenCertificate& certificate : certificates) {
    for (SlotEntry& other : slots) {
      if (other.slot == certificate.slot) continue;
      for (TokenCertificate& twin : other.certificates) {
        if (SameValue(twin, certificate)) RegisterCertificate(stores, other.token, twin);
      }
    }
  }
}

void TokenAccess::UnregisterUnreached(UserStores& stores) {
  std::vector<Unreached> pending;
  pending.swap(unreached);
  for (const Unreached& gone : pending) UnregisterCertificates(stores, gone.token, gone.certificates);
}

void TokenAccess::OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) {
  // One hold over both steps: an object event handled between them would register a
  // certificate of the departing token again, and nothing would take that entry out.
  Guard hold(lock);
  auto entry = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  if (entry == slots.end()) return;
  UserStores stores;
  UnregisterUnreached(stores);
  UnregisterCertificates(stores, entry->token, entry->certificates);
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
  UnregisterCertificates(stores, entry->token, entry->certificates);
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

bool TokenAccess::OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) {
  CK_FUNCTION_LIST* functions = module.Functions();
  if (functions == nullptr) return true;
  Guard hold(lock);
  SlotEntry* entry = FindIn(slots, slot);
  if (entry == nullptr) return true;
  // Listed as a part read, the token is read again whole, the new certificate with it.
  const auto cutShort = [entry] {
    entry->readWhole = false;
    return false;
  };
  Pkcs11Session session(functions, slot);
  if (session.OpenStatus() != CKR_OK) return cutShort();
  CK_RV status = CKR_OK;
  std::optional<TokenCertificate> certificate = ReadCertificateObject(session, slot, object, status);
  if (!certificate) {
    // Another kind of object, or one without what a certificate needs: nothing to register.
    if (status == CKR_ATTRIBUTE_TYPE_INVALID || status == CKR_ATTRIBUTE_SENSITIVE) return true;
    return cutShort();
  }
  // The other program's entry is looked for once it has had the time to write it: a store
  // opened earlier would not show it.
  Pause(options.twinSettleMs);
  UserStores stores;
  UnregisterUnreached(stores);
  if (const HCERTSTORE personal = stores.Get(kPersonalStore)) {
    if (std::optional<CertBytes> twinName = ReadFriendlyNameOfTwin(personal, certificate->value)) {
      CK_ATTRIBUTE name = {CKA_VENDOR_FRIENDLY_NAME, twinName->data(), static_cast<CK_ULONG>(twinName->size())};
      // Unwritten, the name is still the entry's.
      Checked("C_SetAttributeValue", functions->C_SetAttributeValue(session.get(), object, &name, 1));
      certificate->friendlyName = std::move(twinName);
    }
  }
  const bool listed = std::any_of(entry->certificates.begin(), entry->certificates.end(),
                                  [&](const TokenCertificate& c) { return SameValue(c, *certificate); });
  if (listed) return true;
  // A key made together with the certificate is on the token by now.
  entry->token.publicKeys = ReadPublicKeys(session);
  if (!entry->token.publicKeys) return cutShort();
  RegisterCertificate(stores, entry->token, *certificate);
  entry->certificates.push_back(std::move(*certificate));
  return true;
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
  UnregisterCertificates(stores, entry->token, {*it});
  entry->certificates.erase(it);
}

bool TokenAccess::PurgeProviderCertificates() {
  UserStores stores;
  return PurgeOwnEntries(stores, std::nullopt);
}

bool TokenAccess::CheckExpiry(CK_SLOT_ID slot, int days) {
  if (days < 0) return false;
  std::vector<CertBytes> values;
  {
    Guard hold(lock);
    if (SlotEntry* entry = FindIn(slots, slot)) {
      for (const TokenCertificate& certificate : entry->certificates) {
        if (std::find(entry->expiryChecked.begin(), entry->expiryChecked.end(), certificate.value) !=
            entry->expiryChecked.end()) {
          continue;
        }
        values.push_back(certificate.value);
        entry->expiryChecked.push_back(certificate.value);
      }
    }
  }
  return AnyCertificateExpiresBy(values, days, CurrentUtcTime());
}

}  // namespace tessard
