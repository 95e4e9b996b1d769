// A low-level initialisation wipes the token: the program takes the certificates it registered
// for that token out of "MY" again, and only those.

#include <gtest/gtest.h>

#include "tests/e2e/token_program.h"
#include "tests/win/store_probe.h"

namespace tessard::e2e {
namespace {

using testing::LoadTestCertificate;
using testing::MadeCertificatePath;
using testing::StoreHolds;

class WipedToken : public TokenProgram {
 protected:
  void SetUp() override {
    TokenProgram::SetUp();
    testing::RemoveFromAllStores({&user_});
  }
  void TearDown() override {
    TokenProgram::TearDown();
    testing::RemoveFromAllStores({&user_});
  }
  bool Registered() const { return StoreHolds(L"MY", user_); }

  const CertBytes user_ = LoadTestCertificate("user_sign");
  const std::string insert_ = "insert --slot 1 --cert " + MadeCertificatePath("user_sign") + " --key";
};

TEST_F(WipedToken, EndingALowLevelInitialisationUnregistersTheTokensCertificates) {
  Program program = StartInstance();
  ASSERT_TRUE(WaitsForEvents());
  for (const char* code : {"266", "267"}) {
    Sim(insert_);
    ASSERT_TRUE(PollUntil(10s, [this] { return Registered(); })) << code;
    const int asked = CallsOf("C_GetSlotInfo");
    Sim(std::string("event --slot 9 --code ") + code);
    // Events are handled in order: once the program asks about the slot of this insertion,
    // it has handled the wipe of slot 9.
    Sim("event --slot 8 --code 1");
    ASSERT_TRUE(PollUntil(10s, [asked] { return CallsOf("C_GetSlotInfo") > asked; }));
    EXPECT_TRUE(Registered()) << "the wipe of a slot without a token took another token's certificate";
    Sim(std::string("event --slot 1 --code ") + code);
    EXPECT_TRUE(PollUntil(10s, [this] { return !Registered(); })) << code;
    Sim("remove --slot 1");
  }
  EXPECT_TRUE(program.IsRunning());
}

}  // namespace
}  // namespace tessard::e2e
