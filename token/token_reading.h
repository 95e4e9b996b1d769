#pragma once
// Reading a token through its module: the certificates and public keys of a token in one
// session, each class in one search and each object's attributes in one call.

#include <optional>
#include <string>
#include <vector>

#include "token/pkcs11_session.h"
#include "token/slot_entry.h"

namespace tessard {

// The slot description without its trailing spaces, from the ANSI code page: the reader's
// name for the smart-card resource manager as well.
std::wstring ReaderNameOf(const CK_SLOT_INFO& info);

// The certificate object's id, value, container and friendly name, in one call where they fit
// the buffers of an ordinary certificate; none when the object is no certificate or its
// required attributes cannot be read (`status` then says why).
std::optional<TokenCertificate> ReadCertificateObject(const Pkcs11Session& session, CK_SLOT_ID slot,
                                                      CK_OBJECT_HANDLE object, CK_RV& status);

// Every public key of the token; none when the search or a read failed, since then nobody
// can tell whether a certificate's key is on the token.
std::optional<std::vector<PublicKeyFacts>> ReadPublicKeys(const Pkcs11Session& session);

// The serial number of CK_TOKEN_INFO, which tells one token from another in the same slot.
std::string SerialNumberOf(const CK_TOKEN_INFO& info);

// Reads the token in the slot: its certificates (up to the first object that lacks what a
// certificate needs) and its public keys; `readWhole` says whether a module error cut it
// short. None when no session could be opened or the token went away during the read: what
// was read of it is no description of a token that is there.
std::optional<SlotEntry> ReadToken(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot, const CK_SLOT_INFO& info);

}  // namespace tessard
