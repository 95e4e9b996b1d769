#include "token/token_reading.h"

#include <cstring>
#include <string_view>

#include "certstore/certificate_encoding.h"
#include "platform/text_convert.h"

namespace tessard {

namespace {

// Statuses that say the token went away during the read.
bool TokenWentAway(CK_RV rv) {
  return rv == CKR_DEVICE_REMOVED || rv == CKR_TOKEN_NOT_PRESENT || rv == CKR_SESSION_HANDLE_INVALID ||
         rv == CKR_SESSION_CLOSED;
}

// The object lacks an attribute a certificate needs: reading it again gives the same answer.
bool ObjectIsIncomplete(CK_RV rv) { return rv == CKR_ATTRIBUTE_TYPE_INVALID || rv == CKR_ATTRIBUTE_SENSITIVE; }

std::wstring AnsiText(const std::optional<std::vector<uint8_t>>& bytes) {
  if (!bytes) return {};
  return ToWide(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), kCodePageAnsi);
}

template <typename Value>
std::optional<Value> FixedValue(const std::optional<std::vector<uint8_t>>& bytes) {
  if (!bytes || bytes->size() != sizeof(Value)) return std::nullopt;
  Value value;
  std::memcpy(&value, bytes->data(), sizeof value);
  return value;
}

// Buffers that an ordinary certificate's and key's attributes fit, so that each object is read
// in one call; a larger value costs a length query and one more read.
constexpr CK_ULONG kIdBytes = 64;
constexpr CK_ULONG kCertificateBytes = 4096;
constexpr CK_ULONG kNameBytes = 256;
constexpr CK_ULONG kModulusBytes = 512;  // 4096 bits

// Every object of the class, one search.
CK_RV FindObjectsOf(const Pkcs11Session& session, CK_OBJECT_CLASS objectClass, std::vector<CK_OBJECT_HANDLE>& found) {
  CK_ATTRIBUTE templ[] = {{CKA_CLASS, &objectClass, sizeof objectClass}};
  FindOperation find(session, templ, 1);
  return find.All(found);
}

// The certificate objects in search order, up to the first whose attributes cannot be read.
CK_RV ReadCertificates(const Pkcs11Session& session, CK_SLOT_ID slot, std::vector<TokenCertificate>& certificates) {
  std::vector<CK_OBJECT_HANDLE> objects;
  CK_RV status = FindObjectsOf(session, CKO_CERTIFICATE, objects);
  for (CK_OBJECT_HANDLE object : objects) {
    CK_RV read = CKR_OK;
    std::optional<TokenCertificate> certificate = ReadCertificateObject(session, slot, object, read);
    if (!certificate) return read;
    certificates.push_back(std::move(*certificate));
  }
  return status;
}

}  // namespace

std::wstring ReaderNameOf(const CK_SLOT_INFO& info) {
  char text[sizeof info.slotDescription + 1] = {};
  std::memcpy(text, info.slotDescription, sizeof info.slotDescription);
  // Inner spaces stay.
  for (size_t i = sizeof info.slotDescription; i > 0 && text[i - 1] == ' '; --i) text[i - 1] = '\0';
  return ToWide(std::string_view(text, std::strlen(text)), kCodePageAnsi);
}

std::optional<TokenCertificate> ReadCertificateObject(const Pkcs11Session& session, CK_SLOT_ID slot,
                                                      CK_OBJECT_HANDLE object, CK_RV& status) {
  AttributeValues values;
  status = ReadAttributes(session, object,
                          {{CKA_ID, false, kIdBytes},
                           {CKA_VALUE, false, kCertificateBytes},
                           {CKA_VENDOR_CONTAINER_NAME, false, kNameBytes},
                           {CKA_VENDOR_FRIENDLY_NAME, true, kNameBytes},
                           {CKA_CLASS, true, sizeof(CK_OBJECT_CLASS)}},
                          values);
  if (status != CKR_OK) return std::nullopt;
  if (const auto objectClass = FixedValue<CK_OBJECT_CLASS>(values[4]); objectClass && *objectClass != CKO_CERTIFICATE) {
    status = CKR_ATTRIBUTE_TYPE_INVALID;
    return std::nullopt;
  }
  TokenCertificate certificate;
  certificate.slot = slot;
  certificate.object = object;
  certificate.id = std::move(*values[0]);
  // From here on the value is the certificate's own encoding; a value that has none is
  // kept as read and never decodes.
  if (const auto encoding = CertificateEncoding(*values[1])) {
    certificate.value.assign(encoding->begin(), encoding->end());
  } else {
    certificate.value = std::move(*values[1]);
  }
  certificate.containerName = AnsiText(values[2]);
  if (values[3] && !values[3]->empty()) certificate.friendlyName = std::move(values[3]);
  return certificate;
}

std::optional<std::vector<PublicKeyFacts>> ReadPublicKeys(const Pkcs11Session& session) {
  std::vector<CK_OBJECT_HANDLE> objects;
  if (FindObjectsOf(session, CKO_PUBLIC_KEY, objects) != CKR_OK) return std::nullopt;
  std::vector<PublicKeyFacts> keys;
  for (CK_OBJECT_HANDLE object : objects) {
    AttributeValues values;
    const CK_RV status = ReadAttributes(session, object,
                                        {{CKA_KEY_TYPE, false, sizeof(CK_KEY_TYPE)},
                                         {CKA_ID, true, kIdBytes},
                                         {CKA_VENDOR_CONTAINER_NAME, true, kNameBytes},
                                         {CKA_MODULUS, true, kModulusBytes},
                                         {CKA_ENCRYPT, true, sizeof(CK_BBOOL)}},
                                        values);
    if (status != CKR_OK) return std::nullopt;
    PublicKeyFacts key;
    key.rsa = FixedValue<CK_KEY_TYPE>(values[0]) == CKK_RSA;
    if (values[1]) key.id = std::move(*values[1]);
    key.containerName = AnsiText(values[2]);
    if (values[3]) key.modulus = std::move(*values[3]);
    if (const auto encrypt = FixedValue<CK_BBOOL>(values[4])) key.encrypt = *encrypt != CK_FALSE;
    keys.push_back(std::move(key));
  }
  return keys;
}

std::string SerialNumberOf(const CK_TOKEN_INFO& info) {
  return std::string(reinterpret_cast<const char*>(info.serialNumber), sizeof info.serialNumber);
}

std::optional<SlotEntry> ReadToken(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot, const CK_SLOT_INFO& info) {
  Pkcs11Session session(functions, slot);
  if (session.OpenStatus() != CKR_OK) return std::nullopt;
  SlotEntry entry;
  entry.slot = slot;
  entry.token.readerName = ReaderNameOf(info);
  const CK_RV certificates = ReadCertificates(session, slot, entry.certificates);
  if (TokenWentAway(certificates)) return std::nullopt;
  entry.token.publicKeys = ReadPublicKeys(session);
  // A session the module fails to close takes nothing from what was read in it.
  session.Close();
  entry.readWhole = (certificates == CKR_OK || ObjectIsIncomplete(certificates)) && entry.token.publicKeys.has_value();
  return entry;
}

}  // namespace tessard
