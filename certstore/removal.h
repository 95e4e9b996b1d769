#pragma once
// Removal of what registration put into "MY": entries are recognised by their key-provider
// information, not by the certificate bytes. "ROOT", "CA" and "ADDRESSBOOK" are never
// touched.

#include <optional>
#include <span>
#include <string>

#include "certstore/certificate_facts.h"
#include "certstore/removal_rules.h"
#include "certstore/user_stores.h"

namespace tessard {

// The key a registered certificate names, for the removal rules; none when its container
// path is too long to be used.
std::optional<RegisteredKey> RegisteredKeyOf(const std::wstring& providerName, const std::wstring& readerName,
                                             const CertificateFacts& certificate);

// Deletes from "MY", in one pass over the store, every entry that belongs to one of the
// keys; false when the store cannot be opened.
bool UnregisterKeys(UserStores& stores, std::span<const RegisteredKey> keys);

// Deletes from "MY" every entry whose provider equals providerName, ignoring case.
bool PurgeProvider(UserStores& stores, const std::wstring& providerName);

}  // namespace tessard
