// The seam mechanism and the failure trace that every other part's failures go through.

#include "platform/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system_calls.h"

namespace tessard {
namespace {

std::vector<std::wstring> lines;

void Record(const wchar_t* line) { lines.push_back(line); }
void Ignore(const wchar_t*) {}

TEST(FailureTrace, OneLineEachThroughTheDebugOutputWhileTheSeamIsReplacedOnly) {
  lines.clear();
  {
    const auto recorded = WriteDebugOutput.Replace(&Record);
    {
      const auto ignored = WriteDebugOutput.Replace(&Ignore);
      Trace(L"not seen");
    }
    Trace(L"C_GetSlotInfo failed: " + HexCode(0xE0));
  }
  Trace(L"after the test: to the real debug output");
  EXPECT_EQ(lines, std::vector<std::wstring>{L"Tessard: C_GetSlotInfo failed: 0x000000E0\n"});
}

}  // namespace
}  // namespace tessard
