#pragma once
// The real program with the simulated token installed under the module's file name, in a
// simulated world of the running test case, changed from this process while it runs. Its
// update folder is on loopback where nothing answers: no request leaves the machine, and none
// holds up the window thread.

#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/program_under_test.h"
#include "tests/e2e/tokensim_command.h"
#include "tests/win/store_probe.h"
#include "tests/win/tokensim_driver.h"
#include "tests/win/update_site.h"

namespace tessard::e2e {

inline constexpr wchar_t kCaption[] = L"Orvane-CA Token Manager V3.0";

class TokenProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    EndRunningInstance();
    testing::UseOwnSimulatorWorld();
  }
  void TearDown() override {
    EndRunningInstance();
    EXPECT_EQ(TokensimCount("sessions"), 0);
  }

  // Starts an instance and waits until its hidden dialog exists.
  static Program StartInstance(const std::wstring& arguments = L"") {
    Program program(arguments);
    EXPECT_TRUE(program.Started());
    EXPECT_NE(WaitForWindow(program.Id(), kCaption, L"#32770", 10s), nullptr);
    return program;
  }

  // True once the program waits for token events, so that no change is made before it.
  static bool WaitsForEvents() {
    return PollUntil(10s, [] { return TokensimCount("waits") > 0; });
  }

  const testing::SettingsValue unanswered_{L"UpdateUrl", testing::kUnansweredUpdateFolder};
};

// The program with a token's usual certificates: none of them in any store before or after.
class TestCertificatesProgram : public TokenProgram {
 protected:
  void SetUp() override {
    TokenProgram::SetUp();
    Forget();
  }
  void TearDown() override {
    TokenProgram::TearDown();
    Forget();
  }
  void Forget() { testing::RemoveFromAllStores({&user_, &other_, &ca_, &root_}); }

  const CertBytes user_ = testing::LoadTestCertificate("user_exchange");
  const CertBytes other_ = testing::LoadTestCertificate("user_sign");
  const CertBytes ca_ = testing::LoadTestCertificate("ca");
  const CertBytes root_ = testing::LoadTestCertificate("root");
};

}  // namespace tessard::e2e
