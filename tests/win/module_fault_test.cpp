// Module faults swept over every module entry that a phase of the program's work calls (the
// reader stand-in's entries count as the module's): the start-up with a token already in,
// an insertion, and an object written to the token. A brief fault is outlived by reading
// again as the main dialog does, a lasting one never puts a certificate in a store it does
// not belong in, and after either the removal leaves nothing of the token in "MY". Progress
// events and removals call no module entry at this layer; the end-to-end tests fail the
// monitor's wait, the one entry they pass through. A store that cannot be opened is swept
// over the stores the same way.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/read_again.h"
#include "certstore/registration.h"
#include "certstore/removal_rules.h"
#include "platform/system_calls.h"
#include "tests/win/store_probe.h"
#include "tests/win/tokensim_driver.h"
#include "token/token_access.h"

namespace tessard::testing {
namespace {

using tokensim::Entry;

constexpr uint32_t kSlot = 1;
constexpr const wchar_t* kStores[] = {L"MY", L"CA", L"ROOT", L"ADDRESSBOOK"};
constexpr CK_RV kFaults[] = {CKR_GENERAL_ERROR, CKR_DEVICE_ERROR, CKR_DEVICE_REMOVED, CKR_SESSION_HANDLE_INVALID,
                             CKR_TOKEN_NOT_PRESENT};
// Without these there is no module to talk to: the program says so and ends.
constexpr Entry kOpeningEntries[] = {Entry::C_GetFunctionList, Entry::E_GetAuxFunctionList, Entry::C_Initialize,
                                     Entry::C_GetSlotList};

struct Placed {
  const char* name;
  const wchar_t* store;
};
constexpr Placed kCertificates[] = {{"user_exchange", L"MY"}, {"ca", L"CA"}, {"root", L"ROOT"}};

enum class Phase { kStartUp, kInsertion, kObjectAdded };

const CertBytes kTwinName{'T', 0, 'w', 0, 'i', 0, 'n', 0, 0, 0};

std::string Hex(CK_RV rv) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(rv));
  return text;
}

std::string ToText(const wchar_t* store) { return std::string(store, store + std::wcslen(store)); }

// The store a test refuses to open; null: none.
const wchar_t* refusedStore = nullptr;

HCERTSTORE OpenUnlessRefused(const wchar_t* name) {
  return refusedStore != nullptr && std::wcscmp(name, refusedStore) == 0
             ? nullptr
             : ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name);
}

class TokenFaults : public ::testing::TestWithParam<Phase> {
 protected:
  void SetUp() override {
    UseOwnSimulatorWorld();
    for (const Placed& placed : kCertificates) values_.push_back(LoadTestCertificate(placed.name));
    Forget();
    ASSERT_EQ(token_.Open(), CKR_OK);
  }
  void TearDown() override {
    token_.Close();
    refusedStore = nullptr;
    Forget();
  }

  void Forget() {
    for (const CertBytes& value : values_) RemoveFromAllStores({&value});
    RemoveFromAllStores({&added_});
    readAgain_ = ReadAgain();
  }

  void InsertToken() {
    Sim(tokensim::Insert(
        {.slot = kSlot, .certificates = {{.der = values_[0], .key = true}, {.der = values_[1]}, {.der = values_[2]}}}));
  }

  // As the main dialog does: the insertion, then the tries while a read is cut short.
  void Insertion() {
    if (!token_.OnTokenInserted(kSlot, L"")) readAgain_.Schedule(kSlot);
    ReadAgainAsTheDialogDoes();
  }

  void ReadAgainAsTheDialogDoes() {
    while (readAgain_.Pending()) {
      readAgain_.Round([this](uint32_t slot) {
        return token_.OnTokenInserted(slot, L"") ? ReadOutcome::Whole : ReadOutcome::InPart;
      });
    }
  }

  // What comes before the phase, with no fault armed. The certificate an object event adds
  // has a twin of another program's in "MY", whose name is written to the token.
  void Prepare(Phase phase) {
    if (phase == Phase::kStartUp) token_.Close();
    InsertToken();
    if (phase != Phase::kObjectAdded) return;
    Insertion();
    UserStores stores;
    AddCertificateToStore(stores, DecodeCertificate(added_).get(),
                          {kPersonalStore, L"theirs", L"Another Provider", AT_KEYEXCHANGE, kTwinName, L""});
  }

  // The phase as the main dialog drives it; false when the module could not be opened.
  bool Act(Phase phase) {
    switch (phase) {
      case Phase::kStartUp:
        if (token_.Open() != CKR_OK) {
          // The program reports the module's failure and ends, purging on its way out.
          token_.PurgeProviderCertificates();
          token_.Close();
          return false;
        }
        for (CK_SLOT_ID slot : token_.SlotsReadInPart()) readAgain_.Schedule(static_cast<uint32_t>(slot));
        ReadAgainAsTheDialogDoes();
        return true;
      case Phase::kInsertion:
        Insertion();
        return true;
      case Phase::kObjectAdded:
        // As the main dialog does: an object event cut short reads the token again.
        for (uint32_t object : Sim(tokensim::Add(kSlot, {{.der = added_, .key = true}}))) {
          if (!token_.OnObjectCreated(kSlot, object)) readAgain_.Schedule(kSlot);
        }
        ReadAgainAsTheDialogDoes();
        return true;
    }
    return true;
  }

  // Tessard's own entry, not the other program's twin.
  static bool RegisteredInMy(const CertBytes& value) {
    const std::optional<std::wstring> mark = DescriptionOf(L"MY", value);
    return mark && ReadOwnershipMark(*mark);
  }

  void Removal() {
    Sim(tokensim::Remove(kSlot));
    token_.OnTokenRemoved(kSlot, false);
    EXPECT_FALSE(StoreHolds(L"MY", values_[0])) << "removal left the token's entry in MY";
    EXPECT_FALSE(RegisteredInMy(added_)) << "removal left the added certificate's entry in MY";
  }

  // Each certificate where it belongs; with `absentAllowed`, also in no store at all. The
  // certificate of the object event is on the token in that phase only.
  std::string Misplaced(Phase phase, bool absentAllowed) const {
    std::string wrong;
    for (size_t i = 0; i <= values_.size(); ++i) {
      const bool isAdded = i == values_.size();
      const CertBytes& value = isAdded ? added_ : values_[i];
      const wchar_t* home = isAdded ? L"MY" : kCertificates[i].store;
      for (const wchar_t* store : kStores) {
        const bool belongs = std::wstring_view(store) == home;
        const bool held = isAdded && belongs ? RegisteredInMy(value) : StoreHolds(store, value);
        if (held != belongs && !(belongs && (absentAllowed || (isAdded && phase != Phase::kObjectAdded)))) {
          wrong += std::string(isAdded ? "added" : kCertificates[i].name) + (held ? " in " : " not in ") +
                   ToText(store) + "; ";
        }
      }
    }
    return wrong;
  }

  // The entries the phase calls without a fault, and how often: the cases are made from them.
  tokensim::CallCounts CallsOf(Phase phase) {
    Prepare(phase);
    tokensim::ResetCalls();
    EXPECT_TRUE(Act(phase));
    const tokensim::CallCounts counts = tokensim::Calls();
    EXPECT_EQ(Misplaced(phase, false), "") << "the phase misplaces without a fault";
    Removal();
    Forget();
    return counts;
  }

  const decltype(OpenUserStoreHandle)::Replacement stores_ = OpenUserStoreHandle.Replace(&OpenUnlessRefused);
  ReadAgain readAgain_;
  std::vector<CertBytes> values_;
  const CertBytes added_ = LoadTestCertificate("user_sign");
  // The pause for another program's "MY" entry would only slow the sweep: nobody writes one.
  TokenAccess token_{0};
};

TEST_P(TokenFaults, ABriefFaultOfAnyEntryIsOutlivedByReadingAgain) {
  const Phase phase = GetParam();
  const tokensim::CallCounts counts = CallsOf(phase);
  int cases = 0;
  for (size_t index = 0; index < tokensim::kEntryCount; ++index) {
    const auto entry = static_cast<Entry>(index);
    if (counts[index] == 0) continue;
    // The entry's first call of the phase, and its last.
    for (int after : {0, counts[index] - 1}) {
      for (CK_RV fault : kFaults) {
        SCOPED_TRACE(std::string(tokensim::NameOf(entry)) + " call " + std::to_string(after + 1) + " " + Hex(fault));
        Prepare(phase);
        Sim(tokensim::Fail(entry, fault, static_cast<uint32_t>(after)));
        if (Act(phase)) {
          EXPECT_EQ(Misplaced(phase, false), "");
        } else {
          EXPECT_NE(std::find(std::begin(kOpeningEntries), std::end(kOpeningEntries), entry), std::end(kOpeningEntries))
              << "a module that opened was given up";
          EXPECT_EQ(Misplaced(phase, true), "");
        }
        Removal();
        Forget();
        ++cases;
      }
      if (counts[index] == 1) break;
    }
  }
  RecordProperty("cases", cases);
  // Below this, the sweep no longer reaches the entries the phase is known to call.
  EXPECT_GE(cases, phase == Phase::kObjectAdded ? 30 : 60);
}

TEST_P(TokenFaults, ALastingFaultOfAnyEntryMisfilesNothing) {
  const Phase phase = GetParam();
  const tokensim::CallCounts counts = CallsOf(phase);
  for (size_t index = 0; index < tokensim::kEntryCount; ++index) {
    if (counts[index] == 0) continue;
    const auto entry = static_cast<Entry>(index);
    SCOPED_TRACE(std::string(tokensim::NameOf(entry)) + " failing for good");
    Prepare(phase);
    Sim(tokensim::Fail(entry, CKR_DEVICE_ERROR, 0, tokensim::kEveryTime));
    Act(phase);
    EXPECT_EQ(Misplaced(phase, true), "");
    Sim(tokensim::Fail(entry, CKR_OK));
    Removal();
    Forget();
  }
}

INSTANTIATE_TEST_SUITE_P(Phases, TokenFaults,
                         ::testing::Values(Phase::kStartUp, Phase::kInsertion, Phase::kObjectAdded),
                         [](const ::testing::TestParamInfo<Phase>& info) {
                           switch (info.param) {
                             case Phase::kStartUp:
                               return "StartUp";
                             case Phase::kInsertion:
                               return "Insertion";
                             case Phase::kObjectAdded:
                               return "ObjectAdded";
                           }
                           return "";
                         });

using StoreFaults = TokenFaults;

TEST_F(StoreFaults, AStoreThatCannotBeOpenedKeepsOnlyItsOwnCertificatesOut) {
  for (const wchar_t* store : kStores) {
    SCOPED_TRACE(ToText(store) + " refused");
    refusedStore = store;
    InsertToken();
    Insertion();
    refusedStore = nullptr;
    for (size_t i = 0; i < values_.size(); ++i) {
      const bool refused = std::wstring_view(kCertificates[i].store) == store;
      EXPECT_EQ(StoreHolds(kCertificates[i].store, values_[i]), !refused) << kCertificates[i].name;
    }
    EXPECT_EQ(Misplaced(Phase::kInsertion, true), "");
    Removal();
    Forget();
  }
}

// A removal that finds "MY" closed leaves the token's entry to the next operation that opens
// it; a token put back in the meantime keeps the entry registered for it.
TEST_F(StoreFaults, AnEntryThatARemovalCouldNotTakeOutGoesWithTheNextEvent) {
  const auto removeWithMyClosed = [this] {
    refusedStore = kPersonalStore;
    Sim(tokensim::Remove(kSlot));
    token_.OnTokenRemoved(kSlot, false);
    refusedStore = nullptr;
  };
  InsertToken();
  Insertion();
  removeWithMyClosed();
  ASSERT_TRUE(StoreHolds(L"MY", values_[0])) << "the store opened after all";
  Sim(tokensim::Insert({.slot = 2, .certificates = {{.der = values_[1]}}}));
  token_.OnTokenInserted(2, L"");
  EXPECT_FALSE(StoreHolds(L"MY", values_[0])) << "the entry of a token gone outlived the next insertion";

  InsertToken();
  Insertion();
  removeWithMyClosed();
  InsertToken();
  Insertion();
  Sim(tokensim::Remove(2));
  token_.OnTokenRemoved(2, false);
  EXPECT_TRUE(StoreHolds(L"MY", values_[0])) << "the entry of the token put back was taken out";
  Removal();
}

}  // namespace
}  // namespace tessard::testing
