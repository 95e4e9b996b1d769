#include "certstore/removal.h"

#include <algorithm>

namespace tessard {
namespace {

std::optional<KeyProviderEntry> ReadKeyProvider(PCCERT_CONTEXT certificate) {
  const auto buffer = ReadCertificateProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID);
  if (!buffer || buffer->size() < sizeof(CRYPT_KEY_PROV_INFO)) return std::nullopt;
  // The property's strings point into the buffer itself; it stays alive while they are copied.
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer->data());
  KeyProviderEntry entry;
  if (info->pwszProvName) entry.providerName = info->pwszProvName;
  if (info->pwszContainerName) entry.containerName = info->pwszContainerName;
  entry.keySpec = info->dwKeySpec;
  return entry;
}

// The description up to its terminator; none when the entry has none.
std::optional<std::wstring> ReadDescription(PCCERT_CONTEXT certificate) {
  const auto bytes = ReadCertificateProperty(certificate, CERT_DESCRIPTION_PROP_ID);
  if (!bytes) return std::nullopt;
  std::wstring text(bytes->size() / sizeof(wchar_t), L'\0');
  std::copy_n(bytes->data(), text.size() * sizeof(wchar_t), reinterpret_cast<std::uint8_t*>(text.data()));
  return text.substr(0, text.find(L'\0'));
}

PersonalEntry ReadPersonalEntry(PCCERT_CONTEXT certificate) {
  return {ReadDescription(certificate), ReadKeyProvider(certificate)};
}

// Deletes every "MY" entry that the predicate accepts.
template <typename Predicate>
bool DeletePersonalEntries(UserStores& stores, Predicate belongs) {
  const HCERTSTORE store = stores.Get(kPersonalStore);
  if (!store) return false;
  DeferredDeletion deletion;
  for (PCCERT_CONTEXT certificate : StoreCertificates(store)) {
    if (belongs(certificate)) deletion.Pick(certificate);
  }
  deletion.DeleteAll();
  return true;
}

bool HoldsValue(PCCERT_CONTEXT certificate, const CertBytes& value) {
  return std::equal(value.begin(), value.end(), certificate->pbCertEncoded,
                    certificate->pbCertEncoded + certificate->cbCertEncoded);
}

}  // namespace

bool UnregisterCertificates(UserStores& stores, std::span<const RegisteredCertificate> certificates) {
  return DeletePersonalEntries(stores, [certificates](PCCERT_CONTEXT entry) {
    const PersonalEntry read = ReadPersonalEntry(entry);
    return std::any_of(certificates.begin(), certificates.end(), [&](const RegisteredCertificate& certificate) {
      return (HoldsValue(entry, certificate.value) && WrittenBy(read, certificate.registration)) ||
             (read.keyProvider && MadeBySystemForKey(*read.keyProvider, certificate.registration));
    });
  });
}

bool PurgeOwnEntries(UserStores& stores, std::optional<std::wstring_view> earlierVersionsProvider) {
  return DeletePersonalEntries(stores, [earlierVersionsProvider](PCCERT_CONTEXT entry) {
    const PersonalEntry read = ReadPersonalEntry(entry);
    return MarkedAsWritten(read) || (earlierVersionsProvider && LeftByEarlierVersion(read, *earlierVersionsProvider));
  });
}

}  // namespace tessard
