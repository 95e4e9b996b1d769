// Module faults during an insertion, swept over every module entry that an insertion calls:
// a brief fault is outlived by reading the token again as the main dialog does, a lasting one
// never puts a certificate in a store it does not belong in, and after either the removal
// leaves nothing of the token in "MY".

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/win/store_probe.h"
#include "tests/win/tokensim_driver.h"
#include "token/token_access.h"

namespace tessard::testing {
namespace {

using tokensim::Entry;

constexpr uint32_t kSlot = 1;
constexpr const wchar_t* kStores[] = {L"MY", L"CA", L"ROOT", L"ADDRESSBOOK"};
constexpr CK_RV kFaults[] = {CKR_GENERAL_ERROR, CKR_DEVICE_ERROR, CKR_DEVICE_REMOVED, CKR_SESSION_HANDLE_INVALID};
// The main dialog reads a token again three times at most.
constexpr int kReadsAgain = 3;

struct Placed {
  const char* name;
  const wchar_t* store;
};
constexpr Placed kCertificates[] = {{"user_exchange", L"MY"}, {"ca", L"CA"}, {"root", L"ROOT"}};

class ModuleFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    UseOwnSimulatorWorld();
    for (const Placed& placed : kCertificates) values_.push_back(LoadTestCertificate(placed.name));
    Forget();
    ASSERT_EQ(token_.Open(), CKR_OK);
  }
  void TearDown() override {
    token_.Close();
    Forget();
  }

  void Forget() {
    for (const CertBytes& value : values_) RemoveFromAllStores({&value});
  }

  void InsertToken() {
    Sim(tokensim::Insert(
        {.slot = kSlot, .certificates = {{.der = values_[0], .key = true}, {.der = values_[1]}, {.der = values_[2]}}}));
  }

  // As the main dialog does: the insertion, then the tries while a read is cut short.
  void Insertion() {
    for (int tries = 0; !token_.OnTokenInserted(kSlot, L"") && tries < kReadsAgain; ++tries) {
    }
  }

  void Removal() {
    Sim(tokensim::Remove(kSlot));
    token_.OnTokenRemoved(kSlot, false);
  }

  // Each certificate where it belongs; with `absentAllowed`, also in no store at all.
  std::string Misplaced(bool absentAllowed) const {
    std::string wrong;
    for (size_t i = 0; i < values_.size(); ++i) {
      for (const wchar_t* store : kStores) {
        const bool belongs = std::wstring_view(store) == kCertificates[i].store;
        const bool held = StoreHolds(store, values_[i]);
        if (held != belongs && !(belongs && absentAllowed)) {
          wrong += std::string(kCertificates[i].name) + (held ? " in " : " not in ") + ToText(store) + "; ";
        }
      }
    }
    return wrong;
  }

  static std::string ToText(const wchar_t* store) { return std::string(store, store + std::wcslen(store)); }

  // The entries a clean insertion calls, and how often: the cases are made from them.
  tokensim::CallCounts CallsOfACleanInsertion() {
    InsertToken();
    tokensim::ResetCalls();
    Insertion();
    const tokensim::CallCounts counts = tokensim::Calls();
    EXPECT_EQ(Misplaced(false), "") << "a clean insertion misplaces";
    Removal();
    return counts;
  }

  std::vector<CertBytes> values_;
  TokenAccess token_;
};

std::string Hex(CK_RV rv) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(rv));
  return text;
}

TEST_F(ModuleFaults, ABriefFaultOfAnyEntryIsOutlivedByReadingAgain) {
  const tokensim::CallCounts counts = CallsOfACleanInsertion();
  int cases = 0;
  for (size_t index = 0; index < tokensim::kEntryCount; ++index) {
    const auto entry = static_cast<Entry>(index);
    if (counts[index] == 0) continue;
    // The entry's first call of the insertion, and its last.
    for (int after : {0, counts[index] - 1}) {
      for (CK_RV fault : kFaults) {
        SCOPED_TRACE(std::string(tokensim::NameOf(entry)) + " call " + std::to_string(after + 1) + " " + Hex(fault));
        Forget();
        InsertToken();
        Sim(tokensim::Fail(entry, fault, static_cast<uint32_t>(after)));
        Insertion();
        EXPECT_EQ(Misplaced(false), "");
        Removal();
        EXPECT_FALSE(StoreHolds(L"MY", values_[0])) << "removal left the token's entry in MY";
        ++cases;
      }
      if (counts[index] == 1) break;
    }
  }
  EXPECT_GE(cases, 40) << "the sweep reached fewer entries than an insertion calls";
}

TEST_F(ModuleFaults, ALastingFaultOfAnyEntryMisfilesNothing) {
  const tokensim::CallCounts counts = CallsOfACleanInsertion();
  for (size_t index = 0; index < tokensim::kEntryCount; ++index) {
    if (counts[index] == 0) continue;
    const auto entry = static_cast<Entry>(index);
    SCOPED_TRACE(std::string(tokensim::NameOf(entry)) + " failing for good");
    Forget();
    InsertToken();
    Sim(tokensim::Fail(entry, CKR_DEVICE_ERROR, 0, tokensim::kEveryTime));
    Insertion();
    EXPECT_EQ(Misplaced(true), "");
    Sim(tokensim::Fail(entry, CKR_OK));
    Removal();
    EXPECT_FALSE(StoreHolds(L"MY", values_[0])) << "removal left the token's entry in MY";
  }
}

}  // namespace
}  // namespace tessard::testing
