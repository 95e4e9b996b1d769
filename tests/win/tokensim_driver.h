#pragma once
// Drives the simulated token from a test: a world of the test executable's own (so that
// test programs running side by side do not share tokens), and tokensim.exe runs.

#include <string>

namespace tessard::testing {

struct TokensimRun {
  unsigned long exitCode = 1;
  std::string output;
};

// Points this process, and every program it starts, at a state file of the running test
// case, and empties that world.
void UseOwnSimulatorWorld();

// Runs tokensim.exe of the test folder with `arguments`; fails the test when it does not
// end within 10 s.
TokensimRun Tokensim(const std::string& arguments);

// Runs tokensim and expects it to succeed.
void Sim(const std::string& arguments);

// The open-session count the simulator keeps.
int OpenSessions();

// A test certificate of tests/data, as a path tokensim understands.
std::string TestCertificate(const std::string& name);

}  // namespace tessard::testing
