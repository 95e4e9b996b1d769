// The table of inserted tokens: reading a slot and its certificates, dropping it again.

#include <algorithm>
#include <cstring>

#include "platform/system_version.h"
#include "platform/text_convert.h"
#include "token/pkcs11_session.h"
#include "token/token_access.h"

namespace tessard {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// Statuses that say the token went away during the read: what was read of it is no
// description of a token that is there.
bool TokenWentAway(CK_RV rv) {
  return rv == CKR_DEVICE_REMOVED || rv == CKR_TOKEN_NOT_PRESENT || rv == CKR_SESSION_HANDLE_INVALID ||
         rv == CKR_SESSION_CLOSED;
}

}  // namespace

// Inner spaces stay.
std::wstring ReaderNameOf(const CK_SLOT_INFO& info) {
  char text[sizeof info.slotDescription + 1] = {};
  std::memcpy(text, info.slotDescription, sizeof info.slotDescription);
  for (size_t i = sizeof info.slotDescription; i > 0 && text[i - 1] == ' '; --i) text[i - 1] = '\0';
  return ToWide(std::string_view(text, std::strlen(text)), kCodePageAnsi);
}

TokenCertificate CertificateOfObject(CK_SLOT_ID slot, CK_OBJECT_HANDLE object,
                                     std::vector<std::vector<uint8_t>>& idValueContainer) {
  const std::vector<uint8_t>& container = idValueContainer[2];
  return {slot,
          object,
          std::move(idValueContainer[1]),
          std::move(idValueContainer[0]),
          ToWide(std::string_view(reinterpret_cast<const char*>(container.data()), container.size()), kCodePageAnsi),
          0};
}

SlotEntry* TokenAccess::FindSlot(CK_SLOT_ID slot) {
  auto it = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  return it == slots.end() ? nullptr : &*it;
}

const SlotEntry* TokenAccess::FindSlot(CK_SLOT_ID slot) const { return const_cast<TokenAccess*>(this)->FindSlot(slot); }

bool TokenAccess::HasTokens() const {
  Guard hold(lock);
  return !slots.empty();
}

bool TokenAccess::IsSlotKnown(CK_SLOT_ID slot) const {
  Guard hold(lock);
  return FindSlot(slot) != nullptr;
}

bool TokenAccess::IsTokenPresent(CK_SLOT_ID slot) const {
  if (functions == nullptr) return false;
  CK_SLOT_INFO info = {};
  return functions->C_GetSlotInfo(slot, &info) == CKR_OK && (info.flags & CKF_TOKEN_PRESENT) != 0;
}

std::wstring TokenAccess::ReaderNameOfSlot(CK_SLOT_ID slot) const {
  Guard hold(lock);
  const SlotEntry* entry = FindSlot(slot);
  return entry != nullptr ? entry->readerName : std::wstring();
}

std::vector<TokenCertificate> TokenAccess::CertificatesOfSlot(CK_SLOT_ID slot) const {
  Guard hold(lock);
  const SlotEntry* entry = FindSlot(slot);
  return entry != nullptr ? entry->certificates : std::vector<TokenCertificate>();
}

CK_RV TokenAccess::LoadAllSlots() {
  {
    Guard hold(lock);
    slots.clear();
  }
  CK_ULONG count = 0;
  if (CK_RV rv = functions->C_GetSlotList(CK_TRUE, nullptr, &count); rv != CKR_OK) return rv;
  if (count == 0) return CKR_OK;
  std::vector<CK_SLOT_ID> list(count);
  CK_ULONG listed = count;
  CK_RV rv = functions->C_GetSlotList(CK_TRUE, list.data(), &listed);
  if (rv != CKR_OK || listed != count) return rv;
  for (CK_SLOT_ID slot : list) {
    CK_SLOT_INFO info = {};
    rv = functions->C_GetSlotInfo(slot, &info);
    if (rv == CKR_OK && (info.flags & CKF_TOKEN_PRESENT) != 0) {
      LoadSlot(slot);
      RegisterSlotCertificates(slot);
    }
  }
  return rv;
}

void TokenAccess::OnTokenInserted(CK_SLOT_ID slot, const std::wstring&) {
  if (functions == nullptr) return;
  CK_SLOT_INFO slotInfo = {};
  if (functions->C_GetSlotInfo(slot, &slotInfo) != CKR_OK || (slotInfo.flags & CKF_TOKEN_PRESENT) == 0) return;
  CK_TOKEN_INFO tokenInfo = {};
  if (functions->C_GetTokenInfo(slot, &tokenInfo) != CKR_OK) return;
  if (IsSlotKnown(slot)) return;
  if (LoadSlot(slot) != CKR_OK) return;
  if ((tokenInfo.flags & CKF_TOKEN_INITIALIZED) != 0) RegisterSlotCertificates(slot);
}

CK_RV TokenAccess::LoadSlot(CK_SLOT_ID slot) {
  CK_SLOT_INFO info = {};
  if (CK_RV rv = functions->C_GetSlotInfo(slot, &info); rv != CKR_OK) return rv;
  SlotEntry entry;
  entry.slot = slot;
  entry.readerName = ReaderNameOf(info);
  if (ReadCertificates(entry) == CKR_OK) {
    Guard hold(lock);
    if (FindSlot(slot) == nullptr) slots.push_back(std::move(entry));
  }
  return CKR_OK;
}

CK_RV TokenAccess::ReadCertificates(SlotEntry& entry) {
  if (functions == nullptr) return CKR_CRYPTOKI_NOT_INITIALIZED;
  Pkcs11Session session(functions, entry.slot);
  if (session.OpenStatus() != CKR_OK) return session.OpenStatus();
  CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
  CK_ATTRIBUTE templ[] = {{CKA_CLASS, &certificateClass, sizeof certificateClass}};
  FindOperation find(session, templ, 1);
  CK_RV readStatus = CKR_OK;
  CK_OBJECT_HANDLE object = 0;
  while (find.Next(object, readStatus)) {
    std::vector<std::vector<uint8_t>> values;
    readStatus = ReadAttributes(session, object, {CKA_ID, CKA_VALUE, CKA_VENDOR_CONTAINER_NAME}, values);
    if (readStatus != CKR_OK) break;
    entry.certificates.push_back(CertificateOfObject(entry.slot, object, values));
  }
  find.Finish();
  CK_RV closeStatus = session.Close();
  if (TokenWentAway(readStatus)) return readStatus;
  return closeStatus;
}

void TokenAccess::OnTokenRemoved(CK_SLOT_ID slot, bool closeBrowser) {
  // One hold over both steps: an object event handled between them would register a
  // certificate of the departing token again, and nothing would take that entry out.
  Guard hold(lock);
  UnregisterSlotCertificates(slot, true);
  RemoveSlot(slot, closeBrowser);
}

void TokenAccess::RemoveSlot(CK_SLOT_ID slot, bool closeBrowser) {
  Guard hold(lock);
  auto it = std::find_if(slots.begin(), slots.end(), [slot](const SlotEntry& e) { return e.slot == slot; });
  if (it == slots.end()) return;
  if (closeBrowser) {
    if (IsWindows9xFamily()) {
      if (it->browserProcess) ::TerminateProcess(it->browserProcess.get(), 1);
    } else if (it->browserThreadId != 0) {
      ::EnumThreadWindows(it->browserThreadId, CloseWindowProc, 0);
    }
  }
  slots.erase(it);
}

}  // namespace tessard
