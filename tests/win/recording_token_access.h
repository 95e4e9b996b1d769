#pragma once
// A stand-in for token access that records what the main dialog asks of it, and on which
// thread, and answers as the test tells it.

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

namespace tessard::testing {

struct TokenCall {
  std::string name;
  unsigned long slot;
  unsigned long data;
  DWORD thread;
};

struct TokenAnswers {
  unsigned long open = 0;
  unsigned long startMonitor = 0;
  bool hasTokens = false;
  bool slotKnown = false;
  bool expiring = false;
};

TokenAnswers& Answers();
std::vector<TokenCall> RecordedCalls();
std::vector<TokenCall> RecordedCalls(const std::string& name);
void ClearRecordedCalls();

}  // namespace tessard::testing
