#pragma once
// The entries of tokensim.dll, by name: what `fail` arms and what the call counters count.
// Free of <windows.h>.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tokensim {

// Every entry of the function list, in its order.
#define TOKENSIM_FUNCTION_LIST_ENTRIES(X) \
  X(C_Initialize)                         \
  X(C_Finalize)                           \
  X(C_GetInfo)                            \
  X(C_GetFunctionList)                    \
  X(C_GetSlotList)                        \
  X(C_GetSlotInfo)                        \
  X(C_GetTokenInfo)                       \
  X(C_GetMechanismList)                   \
  X(C_GetMechanismInfo)                   \
  X(C_InitToken)                          \
  X(C_InitPIN)                            \
  X(C_SetPIN)                             \
  X(C_OpenSession)                        \
  X(C_CloseSession)                       \
  X(C_CloseAllSessions)                   \
  X(C_GetSessionInfo)                     \
  X(C_GetOperationState)                  \
  X(C_SetOperationState)                  \
  X(C_Login)                              \
  X(C_Logout)                             \
  X(C_CreateObject)                       \
  X(C_CopyObject)                         \
  X(C_DestroyObject)                      \
  X(C_GetObjectSize)                      \
  X(C_GetAttributeValue)                  \
  X(C_SetAttributeValue)                  \
  X(C_FindObjectsInit)                    \
  X(C_FindObjects)                        \
  X(C_FindObjectsFinal)                   \
  X(C_EncryptInit)                        \
  X(C_Encrypt)                            \
  X(C_EncryptUpdate)                      \
  X(C_EncryptFinal)                       \
  X(C_DecryptInit)                        \
  X(C_Decrypt)                            \
  X(C_DecryptUpdate)                      \
  X(C_DecryptFinal)                       \
  X(C_DigestInit)                         \
  X(C_Digest)                             \
  X(C_DigestUpdate)                       \
  X(C_DigestKey)                          \
  X(C_DigestFinal)                        \
  X(C_SignInit)                           \
  X(C_Sign)                               \
  X(C_SignUpdate)                         \
  X(C_SignFinal)                          \
  X(C_SignRecoverInit)                    \
  X(C_SignRecover)                        \
  X(C_VerifyInit)                         \
  X(C_Verify)                             \
  X(C_VerifyUpdate)                       \
  X(C_VerifyFinal)                        \
  X(C_VerifyRecoverInit)                  \
  X(C_VerifyRecover)                      \
  X(C_DigestEncryptUpdate)                \
  X(C_DecryptDigestUpdate)                \
  X(C_SignEncryptUpdate)                  \
  X(C_DecryptVerifyUpdate)                \
  X(C_GenerateKey)                        \
  X(C_GenerateKeyPair)                    \
  X(C_WrapKey)                            \
  X(C_UnwrapKey)                          \
  X(C_DeriveKey)                          \
  X(C_SeedRandom)                         \
  X(C_GenerateRandom)                     \
  X(C_GetFunctionStatus)                  \
  X(C_CancelFunction)                     \
  X(C_WaitForSlotEvent)

// Those, the export outside the list, the auxiliary list's wait, and the reader stand-in's
// calls, which a token's fault reaches as well (a card pulled out answers there too).
#define TOKENSIM_ENTRIES(X)         \
  TOKENSIM_FUNCTION_LIST_ENTRIES(X) \
  X(E_GetAuxFunctionList) X(WaitForTokenEvent) X(SCardEstablishContext) X(SCardGetStatusChangeW)

enum class Entry : uint8_t {
#define TOKENSIM_ENTRY_ENUMERATOR(name) name,
  TOKENSIM_ENTRIES(TOKENSIM_ENTRY_ENUMERATOR)
#undef TOKENSIM_ENTRY_ENUMERATOR
};

inline constexpr std::array kEntryNames = {
#define TOKENSIM_ENTRY_NAME(name) std::string_view(#name),
    TOKENSIM_ENTRIES(TOKENSIM_ENTRY_NAME)
#undef TOKENSIM_ENTRY_NAME
};

inline constexpr size_t kEntryCount = kEntryNames.size();

constexpr std::string_view NameOf(Entry entry) { return kEntryNames[static_cast<size_t>(entry)]; }

constexpr std::optional<Entry> EntryNamed(std::string_view name) {
  for (size_t i = 0; i < kEntryCount; ++i) {
    if (kEntryNames[i] == name) return static_cast<Entry>(i);
  }
  return std::nullopt;
}

// Calls of each entry, indexed by Entry.
using CallCounts = std::array<int32_t, kEntryCount>;

// The calls of the token's module, the reader stand-in's left out.
constexpr int32_t ModuleCalls(const CallCounts& calls) {
  int32_t total = 0;
  for (size_t i = 0; i < kEntryCount; ++i) {
    if (!kEntryNames[i].starts_with("SCard")) total += calls[i];
  }
  return total;
}

}  // namespace tokensim
