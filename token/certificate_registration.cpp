// Registration of a token's certificates in the user's stores, their removal again, and
// the expiry check over what was read from a token.

#include <algorithm>
#include <cstring>

#include "certstore/card_provider.h"
#include "certstore/cert_store.h"
#include "platform/text_convert.h"
#include "token/pkcs11_session.h"
#include "token/token_access.h"

namespace tessard {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// A program that writes a certificate to the token writes its "MY" entry too; the pause
// gives it time to finish that entry, whose friendly name the token object then receives.
constexpr DWORD kTwinSettleMs = 500;

bool SameValue(const TokenCertificate& a, const TokenCertificate& b) { return a.value == b.value; }

}  // namespace

bool TokenAccess::RegisterSlotCertificates(CK_SLOT_ID slot) {
  Guard hold(lock);
  for (SlotEntry& entry : slots) {
    if (entry.slot != slot) continue;
    for (TokenCertificate& certificate : entry.certificates) RegisterCertificate(certificate.slot, certificate);
  }
  return true;
}

bool TokenAccess::RegisterCertificate(CK_SLOT_ID slot, TokenCertificate& certificate) {
  StoreAddition addition;
  if (IsUserCertificate(slot, certificate)) {
    addition.storeName = kPersonalStore;
  } else if (auto authority = ChooseAuthorityStore(certificate.value)) {
    addition.storeName = std::move(*authority);
  } else {
    return false;
  }
  addition.containerName = certificate.containerName;
  if (!LookupCardProvider(slot, addition.providerName)) addition.providerName = providerName;
  DWORD keySpec = AT_KEYEXCHANGE;
  const bool keyFound = FindKeySpec(slot, certificate, keySpec) == CKR_OK;
  const UniqueCertContext context = DecodeCertificate(certificate.value);
  if (!context) return false;
  addition.friendlyName = ReadFriendlyName(slot, certificate.object);
  if (!keyFound) keySpec = KeySpecFromKeyUsage(context.get());
  certificate.keySpec = keySpec;
  addition.keySpec = keySpec;
  return AddCertificateToStore(context.get(), addition);
}

// The token holds the public half of the certificate's key pair: a public-key object with
// the certificate's RSA modulus.
bool TokenAccess::IsUserCertificate(CK_SLOT_ID slot, const TokenCertificate& certificate) const {
  if (!IsTokenPresent(slot)) return false;
  const auto valueLength = static_cast<unsigned long>(certificate.value.size());
  unsigned long length = 0;
  if (ExtractRsaModulus(certificate.value.data(), valueLength, nullptr, &length) != kStatusOk || length == 0) {
    return false;
  }
  std::vector<unsigned char> modulus(length);
  if (ExtractRsaModulus(certificate.value.data(), valueLength, modulus.data(), &length) != kStatusOk) return false;
  Pkcs11Session session(functions, slot);
  if (session.OpenStatus() != CKR_OK) return false;
  CK_OBJECT_CLASS keyClass = CKO_PUBLIC_KEY;
  CK_ATTRIBUTE templ[] = {{CKA_CLASS, &keyClass, sizeof keyClass}, {CKA_MODULUS, modulus.data(), length}};
  FindOperation find(session, templ, 2);
  CK_OBJECT_HANDLE key = 0;
  CK_RV status = CKR_OK;
  return find.Next(key, status);
}

CK_RV TokenAccess::FindKeySpec(CK_SLOT_ID slot, const TokenCertificate& certificate, DWORD& keySpec) const {
  if (!IsTokenPresent(slot)) return CKR_DEVICE_REMOVED;
  std::string container = ToNarrow(certificate.containerName, kCodePageAnsi);
  std::vector<uint8_t> id = certificate.id;
  Pkcs11Session session(functions, slot);
  if (session.OpenStatus() != CKR_OK) return session.OpenStatus();
  CK_OBJECT_CLASS keyClass = CKO_PUBLIC_KEY;
  CK_KEY_TYPE keyType = CKK_RSA;
  CK_ATTRIBUTE templ[] = {{CKA_CLASS, &keyClass, sizeof keyClass},
                          {CKA_KEY_TYPE, &keyType, sizeof keyType},
                          {CKA_ID, id.data(), static_cast<CK_ULONG>(id.size())},
                          {CKA_VENDOR_CONTAINER_NAME, container.data(), static_cast<CK_ULONG>(container.size())}};
  FindOperation find(session, templ, 4);
  CK_OBJECT_HANDLE key = 0;
  CK_RV status = CKR_OK;
  const bool found = find.Next(key, status);
  find.Finish();
  if (status != CKR_OK) return status;
  if (!found) return CKR_TEMPLATE_INCONSISTENT;
  CK_BBOOL encrypt = CK_FALSE;
  CK_ATTRIBUTE read = {CKA_ENCRYPT, &encrypt, sizeof encrypt};
  if (CK_RV rv = functions->C_GetAttributeValue(session.get(), key, &read, 1); rv != CKR_OK) return rv;
  keySpec = encrypt != CK_FALSE ? AT_KEYEXCHANGE : AT_SIGNATURE;
  return CKR_OK;
}

// The token's CKA_VENDOR_FRIENDLY_NAME as it stands; nothing when it is empty or unreadable.
std::optional<std::vector<uint8_t>> TokenAccess::ReadFriendlyName(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) const {
  Pkcs11Session session(functions, slot);
  if (session.OpenStatus() != CKR_OK) return std::nullopt;
  std::vector<std::vector<uint8_t>> values;
  if (ReadAttributes(session, object, {CKA_VENDOR_FRIENDLY_NAME}, values) != CKR_OK || values[0].empty()) {
    return std::nullopt;
  }
  return std::move(values[0]);
}

// A card type of the smart-card database that matches the card in the slot's reader names
// the provider; it then serves the rest of the run, the purge at exit included.
bool TokenAccess::LookupCardProvider(CK_SLOT_ID slot, std::wstring& provider) {
  CK_SLOT_INFO info = {};
  if (functions->C_GetSlotInfo(slot, &info) != CKR_OK) return false;
  const auto atr = ReadCardAtr(ReaderNameOf(info));
  if (!atr) return false;
  auto found = FindCardProvider(*atr);
  if (!found) return false;
  std::memset(providerName, 0, sizeof providerName);
  std::wcsncpy(providerName, found->c_str(), std::size(providerName) - 1);
  provider = std::move(*found);
  return true;
}

bool TokenAccess::UnregisterSlotCertificates(CK_SLOT_ID slot, bool clearList) {
  Guard hold(lock);
  for (SlotEntry& entry : slots) {
    if (entry.slot != slot) continue;
    for (const TokenCertificate& certificate : entry.certificates) {
      UnregisterCertificate(slot, certificate);
      ReregisterOnOtherSlots(certificate);
    }
    if (clearList) entry.certificates.clear();
  }
  return true;
}

bool TokenAccess::UnregisterCertificate(CK_SLOT_ID slot, const TokenCertificate& certificate) {
  const auto path = BuildContainerPath(ReaderNameOfSlot(slot), certificate.containerName);
  if (!path) return false;
  return DeleteMatchingEntries({providerName, *path, certificate.containerName, certificate.keySpec});
}

// The same certificate on another inserted token keeps its "MY" entry, now for that token.
bool TokenAccess::ReregisterOnOtherSlots(const TokenCertificate& certificate) {
  Guard hold(lock);
  bool registered = true;
  for (SlotEntry& entry : slots) {
    if (entry.slot == certificate.slot) continue;
    for (TokenCertificate& other : entry.certificates) {
      if (SameValue(other, certificate) && !RegisterCertificate(entry.slot, other)) registered = false;
    }
  }
  return registered;
}

bool TokenAccess::PurgeProviderCertificates() { return PurgeProvider(providerName); }

void TokenAccess::OnObjectCreated(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) {
  if (functions == nullptr) return;
  Guard hold(lock);
  SlotEntry* entry = FindSlot(slot);
  if (entry == nullptr) return;
  Pkcs11Session session(functions, slot);
  if (session.OpenStatus() != CKR_OK) return;
  CK_OBJECT_CLASS objectClass = 0;
  CK_ATTRIBUTE classTemplate = {CKA_CLASS, &objectClass, sizeof objectClass};
  if (functions->C_GetAttributeValue(session.get(), object, &classTemplate, 1) != CKR_OK ||
      objectClass != CKO_CERTIFICATE) {
    return;
  }
  std::vector<std::vector<uint8_t>> values;
  if (ReadAttributes(session, object, {CKA_ID, CKA_VALUE, CKA_VENDOR_CONTAINER_NAME}, values) != CKR_OK) return;
  TokenCertificate certificate = CertificateOfObject(slot, object, values);
  std::optional<CertBytes> friendlyName;
  {
    const UniqueCertStore store = OpenUserStore(kPersonalStore);
    if (!store) return;
    ::Sleep(kTwinSettleMs);
    friendlyName = ReadFriendlyNameOfTwin(store.get(), certificate.value);
  }
  if (friendlyName) {
    CK_ATTRIBUTE name = {CKA_VENDOR_FRIENDLY_NAME, friendlyName->data(), static_cast<CK_ULONG>(friendlyName->size())};
    if (functions->C_SetAttributeValue(session.get(), object, &name, 1) != CKR_OK) return;
  }
  const bool listed = std::any_of(entry->certificates.begin(), entry->certificates.end(),
                                  [&certificate](const TokenCertificate& c) { return SameValue(c, certificate); });
  if (listed) return;
  RegisterCertificate(slot, certificate);
  entry->certificates.push_back(std::move(certificate));
}

void TokenAccess::OnObjectDeleted(CK_SLOT_ID slot, CK_OBJECT_HANDLE object) {
  Guard hold(lock);
  SlotEntry* entry = FindSlot(slot);
  if (entry == nullptr) return;
  auto it = std::find_if(entry->certificates.begin(), entry->certificates.end(),
                         [object](const TokenCertificate& c) { return c.object == object; });
  if (it == entry->certificates.end()) return;
  UnregisterCertificate(slot, *it);
  ReregisterOnOtherSlots(*it);
  entry->certificates.erase(it);
}

bool TokenAccess::CheckExpiry(CK_SLOT_ID slot, int days) {
  if (days < 0) return false;
  std::vector<CertBytes> values;
  {
    Guard hold(lock);
    for (const SlotEntry& entry : slots) {
      if (entry.slot != slot) continue;
      for (const TokenCertificate& certificate : entry.certificates) values.push_back(certificate.value);
    }
  }
  return AnyCertificateExpiresBy(values, days, CurrentUtcTime());
}

}  // namespace tessard
