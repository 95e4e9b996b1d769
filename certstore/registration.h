#pragma once
// Registration of a token's certificates in the user's stores: a certificate whose key pair
// is on the token goes to "MY" with key-provider information, any other to "ROOT", "CA" or
// "ADDRESSBOOK".

#include <windows.h>
// After <windows.h>, which it needs.
#include <wincrypt.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "certstore/certificate_facts.h"
#include "certstore/removal_rules.h"
#include "certstore/user_stores.h"

namespace tessard {

// The subject public key's RSA modulus without its leading zero byte; none when the key is
// not an RSA key that can be read.
std::optional<CertBytes> ExtractRsaModulus(PCCERT_CONTEXT certificate);

// The token holds the public half of the certificate's key pair: a public key with the
// certificate's RSA modulus, which is long enough for signing programs to use.
bool IsUserCertificate(PCCERT_CONTEXT certificate, const std::vector<PublicKeyFacts>& keys);

// From the token's RSA public key with the certificate's id and container: AT_KEYEXCHANGE
// when it may encrypt, else AT_SIGNATURE; none without such a key or when it does not say.
std::optional<DWORD> FindKeySpec(const CertificateFacts& certificate, const std::vector<PublicKeyFacts>& keys);

// "ROOT" (self-signed), "CA" or "ADDRESSBOOK" for a certificate whose key is not on the token.
const wchar_t* ChooseAuthorityStore(PCCERT_CONTEXT certificate);

// AT_KEYEXCHANGE or AT_SIGNATURE from the certificate's key usage.
DWORD KeySpecFromKeyUsage(PCCERT_CONTEXT certificate);

// How a certificate goes into its store.
struct StoreAddition {
  std::wstring storeName;
  std::wstring containerName;  // "MY" only
  std::wstring providerName;   // "MY" only
  DWORD keySpec = AT_KEYEXCHANGE;
  std::optional<CertBytes> friendlyName;  // set as it stands, on every store
  std::wstring ownershipMark;             // "MY" only: the entry's description
  DWORD providerType = PROV_RSA_FULL;     // "MY" only: 0 for a key storage provider
};

// "MY" replaces an existing entry of the same certificate, keeping its friendly name where the
// addition brings none, and carries key-provider information and the mark; the other stores
// keep an existing entry.
bool AddCertificateToStore(UserStores& stores, PCCERT_CONTEXT certificate, const StoreAddition& addition);

// What registering the certificate of that token writes into "MY"; none when its container
// path is too long to be used.
std::optional<Registration> RegistrationOf(const TokenFacts& token, const CertificateFacts& certificate);

// Adds the certificate to the store its key and kind decide and records its key spec. False
// when it was not added, also when the token's keys are unknown.
bool RegisterCertificate(UserStores& stores, const TokenFacts& token, CertificateFacts& certificate);

// The friendly name of the first certificate in the store encoded exactly as value; the
// search stops at the first such certificate, with nothing when it has no usable name.
std::optional<CertBytes> ReadFriendlyNameOfTwin(HCERTSTORE store, std::span<const std::uint8_t> value);

}  // namespace tessard
