#pragma once
// Removal of what registration put into "MY": only entries still as Tessard wrote them (see
// removal_rules.h). "ROOT", "CA" and "ADDRESSBOOK" are never touched.

#include <optional>
#include <span>
#include <string>

#include "certstore/certificate_facts.h"
#include "certstore/removal_rules.h"
#include "certstore/user_stores.h"

namespace tessard {

struct RegisteredCertificate {
  CertBytes value;
  Registration registration;
};

// Deletes from "MY", in one pass over the store, each certificate's entry as its registration
// wrote it, and the system's key storage entries of its key; false when the store cannot be
// opened.
bool UnregisterCertificates(UserStores& stores, std::span<const RegisteredCertificate> certificates);

// Deletes what a run of the program (this one, or one that was killed) left in "MY": every
// entry still as Tessard marked it and, at start-up, what earlier versions left unmarked for
// the product's own provider.
bool PurgeOwnEntries(UserStores& stores, std::optional<std::wstring_view> earlierVersionsProvider);

}  // namespace tessard
