#pragma once
// The current user's certificate stores read back through crypt32, as the programs that use
// the registered certificates see them, and the certificates made for the tests.

#include <windows.h>

#include <optional>
#include <string>

#include "certstore/user_stores.h"

namespace tessard::testing {

// A certificate made by scripts/make-test-certs, as bytes and as a path for tokensim.
CertBytes LoadTestCertificate(const std::string& name);
std::string MadeCertificatePath(const std::string& name);

// Whether the store holds a certificate encoded as value; with remove, it is deleted too.
bool StoreHolds(const wchar_t* storeName, const CertBytes& value, bool remove = false);

struct StoredKeyProvider {
  std::wstring containerName;
  std::wstring providerName;
  DWORD providerType = 0;
  DWORD flags = 0;
  DWORD keySpec = 0;
};

// The key-provider information of the certificate in the store encoded as value.
std::optional<StoredKeyProvider> KeyProviderOf(const wchar_t* storeName, const CertBytes& value);

// The friendly-name property, as its bytes.
std::optional<CertBytes> FriendlyNameOf(const wchar_t* storeName, const CertBytes& value);

// The description (the mark of ownership in "MY") as text.
std::optional<std::wstring> DescriptionOf(const wchar_t* storeName, const CertBytes& value);

// Removes the certificates from every store the program writes to.
void RemoveFromAllStores(std::initializer_list<const CertBytes*> values);

}  // namespace tessard::testing
