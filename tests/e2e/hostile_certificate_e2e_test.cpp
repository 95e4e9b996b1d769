// Malformed and unusual certificates handed over by tokens, with and without their keys,
// end to end (scripts/make-hostile-certs makes them and says what each may become): the
// program survives them all, nothing that is not one certificate lands in a store, no
// unusable key is offered in "MY", and the removal leaves nothing of them in "MY".

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "certstore/certificate_encoding.h"
#include "tests/e2e/token_program.h"
#include "tests/win/store_probe.h"

namespace tessard::e2e {
namespace {

using testing::LoadTestCertificate;
using testing::StoreHolds;

struct Hostile {
  std::string name;
  bool key;
  std::string expectation;
  CertBytes value;
};

std::string HostilePath(const std::string& name) { return std::string(TESSARD_HOSTILE_CERTS) + "/" + name + ".der"; }

std::vector<Hostile> Manifest() {
  std::vector<Hostile> hostile;
  std::ifstream manifest(std::string(TESSARD_HOSTILE_CERTS) + "/manifest");
  for (std::string line; std::getline(manifest, line);) {
    std::istringstream fields(line);
    Hostile entry;
    std::string key;
    fields >> entry.name >> key >> entry.expectation;
    entry.key = key == "key";
    std::ifstream file(HostilePath(entry.name), std::ios::binary);
    entry.value.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    hostile.push_back(std::move(entry));
  }
  return hostile;
}

bool InAnyStore(const CertBytes& value) {
  for (const wchar_t* store : {L"MY", L"CA", L"ROOT", L"ADDRESSBOOK"}) {
    if (StoreHolds(store, value)) return true;
  }
  return false;
}

CertBytes OwnEncoding(const CertBytes& value) {
  const auto own = CertificateEncoding(value);
  return own ? CertBytes(own->begin(), own->end()) : CertBytes();
}

class HostileCertificates : public TokenProgram {
 protected:
  void SetUp() override {
    TokenProgram::SetUp();
    ASSERT_GT(hostile_.size(), 15u) << "the hostile certificates were not made";
    Forget();
  }
  void TearDown() override {
    TokenProgram::TearDown();
    Forget();
  }
  void Forget() {
    for (const Hostile& entry : hostile_) {
      const CertBytes own = OwnEncoding(entry.value);
      testing::RemoveFromAllStores({&entry.value, &own});
    }
    testing::RemoveFromAllStores({&ca_, &root_});
  }

  // Every hostile certificate on one token, with its key where the manifest says so, and a
  // marker certificate last: the token is handled once the marker is in its store.
  std::string TokenOfAll(int slot, bool withKeys, const std::string& marker) const {
    std::string arguments = "insert --slot " + std::to_string(slot);
    for (const Hostile& entry : hostile_) {
      arguments += " --cert " + HostilePath(entry.name) + (withKeys && entry.key ? " --key" : "");
    }
    return arguments + " --cert " + testing::MadeCertificatePath(marker);
  }

  const std::vector<Hostile> hostile_ = Manifest();
  const CertBytes ca_ = LoadTestCertificate("ca");
  const CertBytes root_ = LoadTestCertificate("root");
};

TEST_F(HostileCertificates, NoneCrashesTheProgramOrLandsWhereItMustNot) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  Sim(TokenOfAll(1, true, "ca"));
  Sim(TokenOfAll(2, false, "root"));
  ASSERT_TRUE(PollUntil(30s, [this] { return StoreHolds(L"CA", ca_) && StoreHolds(L"ROOT", root_); }))
      << "the tokens were not handled to their end";
  EXPECT_TRUE(program.IsRunning());
  for (const Hostile& entry : hostile_) {
    SCOPED_TRACE(entry.name);
    if (entry.expectation == "any") {
      EXPECT_TRUE(InAnyStore(entry.value)) << "a certificate was not registered";
    } else if (entry.expectation == "notmy") {
      EXPECT_FALSE(StoreHolds(L"MY", entry.value));
    } else if (entry.expectation == "nowhere") {
      EXPECT_FALSE(InAnyStore(entry.value));
    } else {
      EXPECT_FALSE(InAnyStore(entry.value));
      EXPECT_TRUE(InAnyStore(OwnEncoding(entry.value)));
    }
  }
  Sim("remove --slot 1");
  Sim("remove --slot 2");
  EXPECT_TRUE(PollUntil(10s, [this] {
    for (const Hostile& entry : hostile_) {
      if (StoreHolds(L"MY", entry.value) || StoreHolds(L"MY", OwnEncoding(entry.value))) return false;
    }
    return true;
  })) << "the removal left a certificate of the tokens in MY";
  EXPECT_TRUE(program.IsRunning());
}

}  // namespace
}  // namespace tessard::e2e
