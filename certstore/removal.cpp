#include "certstore/removal.h"

#include <algorithm>

namespace tessard {
namespace {

std::optional<KeyProviderEntry> ReadKeyProviderEntry(PCCERT_CONTEXT certificate) {
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

// Deletes every "MY" entry with key-provider information that the predicate accepts.
template <typename Predicate>
bool DeletePersonalEntries(UserStores& stores, Predicate belongs) {
  const HCERTSTORE store = stores.Get(kPersonalStore);
  if (!store) return false;
  DeferredDeletion deletion;
  for (PCCERT_CONTEXT certificate : StoreCertificates(store)) {
    const auto entry = ReadKeyProviderEntry(certificate);
    if (entry && belongs(*entry)) deletion.Pick(certificate);
  }
  deletion.DeleteAll();
  return true;
}

}  // namespace

std::optional<RegisteredKey> RegisteredKeyOf(const std::wstring& providerName, const std::wstring& readerName,
                                             const CertificateFacts& certificate) {
  const auto path = BuildContainerPath(readerName, certificate.containerName);
  if (!path) return std::nullopt;
  return RegisteredKey{providerName, *path, certificate.containerName, certificate.keySpec};
}

bool UnregisterKeys(UserStores& stores, std::span<const RegisteredKey> keys) {
  return DeletePersonalEntries(stores, [keys](const KeyProviderEntry& entry) {
    return std::any_of(keys.begin(), keys.end(),
                       [&entry](const RegisteredKey& key) { return BelongsToKey(entry, key); });
  });
}

bool PurgeProvider(UserStores& stores, const std::wstring& providerName) {
  return DeletePersonalEntries(stores, [&providerName](const KeyProviderEntry& entry) {
    return !entry.providerName.empty() && ::lstrcmpiW(entry.providerName.c_str(), providerName.c_str()) == 0;
  });
}

}  // namespace tessard
