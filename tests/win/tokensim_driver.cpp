#include "tests/win/tokensim_driver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "platform/executable.h"
#include "platform/text_convert.h"

namespace tessard::testing {

namespace {}  // namespace

void UseOwnSimulatorWorld() {
  // One world per test case: CTest runs the cases of one executable side by side.
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "world";
  // Parameterised cases are named with slashes, which a file name cannot hold.
  std::replace(name.begin(), name.end(), '/', '-');
  std::wstring path = ExecutableFolder() + L"tokensim\\" + ToWide(name, kCodePageAnsi) + L".txt";
  ::CreateDirectoryW((ExecutableFolder() + L"tokensim").c_str(), nullptr);
  ::SetEnvironmentVariableW(L"TOKENSIM_STATE", path.c_str());
  Sim(tokensim::Reset());
}

std::vector<uint32_t> Sim(const tokensim::Handles& change) {
  Sim(change.outcome);
  return change.handles;
}

void Sim(tokensim::Outcome change) { EXPECT_EQ(change, tokensim::Outcome::kDone) << "the simulator refused a change"; }

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    ::Sleep(5);
  }
  return true;
}

tokensim::Bytes TestCertificate(const std::string& name) {
  std::optional<tokensim::Bytes> der = tokensim::ReadCertificateFile(std::string(TESSARD_TEST_DATA) + "/" + name);
  EXPECT_TRUE(der) << name;
  return der.value_or(tokensim::Bytes{});
}

}  // namespace tessard::testing
