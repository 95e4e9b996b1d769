#pragma once
// The certificate-store building blocks of registration, removal and the expiry check:
// the current user's registry-backed system stores through crypt32.

#include <windows.h>
// After <windows.h>, which it needs.
#include <wincrypt.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "certstore/crypt_handles.h"
#include "certstore/removal_rules.h"

namespace tessard {

// The status values of the token interface (CK_RV), without the PKCS#11 header.
using CertStatus = unsigned long;

inline constexpr CertStatus kStatusOk = 0x000;              // CKR_OK
inline constexpr CertStatus kStatusGeneralError = 0x005;    // CKR_GENERAL_ERROR
inline constexpr CertStatus kStatusArgumentsBad = 0x007;    // CKR_ARGUMENTS_BAD
inline constexpr CertStatus kStatusBufferTooSmall = 0x150;  // CKR_BUFFER_TOO_SMALL

inline constexpr wchar_t kPersonalStore[] = L"MY";

using CertBytes = std::vector<unsigned char>;

UniqueCertStore OpenUserStore(const wchar_t* name);
// A certificate property read with the size query first, into a zero-filled buffer;
// nothing when it is missing, empty or unreadable.
std::optional<CertBytes> ReadCertificateProperty(PCCERT_CONTEXT certificate, DWORD property);
UniqueCertContext DecodeCertificate(std::span<const unsigned char> value);

// Two-call length protocol: output null asks for the length; a short buffer gives
// kStatusBufferTooSmall with the needed length.
CertStatus ExtractRsaModulus(const unsigned char* value, unsigned long valueLength, unsigned char* output,
                             unsigned long* length);

// "ROOT", "CA" or "ADDRESSBOOK" for a certificate whose key is not on the token;
// nullopt when the value does not decode.
std::optional<std::wstring> ChooseAuthorityStore(std::span<const unsigned char> value);

// AT_KEYEXCHANGE or AT_SIGNATURE from the certificate's key usage.
DWORD KeySpecFromKeyUsage(PCCERT_CONTEXT certificate);

// How a certificate goes into its store.
struct StoreAddition {
  std::wstring storeName;
  std::wstring containerName;  // "MY" only
  std::wstring providerName;   // "MY" only
  DWORD keySpec = AT_KEYEXCHANGE;
  std::optional<CertBytes> friendlyName;  // set as it stands, on every store
};

// "MY" replaces an existing entry and carries key-provider information; the other stores
// keep an existing entry.
bool AddCertificateToStore(PCCERT_CONTEXT certificate, const StoreAddition& addition);

// The friendly name of the first certificate in "MY" encoded exactly as value; the search
// stops at the first such certificate, with nothing when it has no usable friendly name.
std::optional<CertBytes> ReadFriendlyNameOfTwin(HCERTSTORE store, std::span<const unsigned char> value);

// Deletes from "MY" every entry that belongs to the key (see removal_rules.h); false when
// the store cannot be opened.
bool DeleteMatchingEntries(const RegisteredKey& key);

// Deletes from "MY" every entry whose provider equals providerName, ignoring case.
bool PurgeProvider(const std::wstring& providerName);

// True when any decodable value has NotAfter at or before now + days (UTC); false for
// negative days.
bool AnyCertificateExpiresBy(const std::vector<CertBytes>& values, int days, FILETIME nowUtc);
FILETIME CurrentUtcTime();

}  // namespace tessard
