#pragma once
// tokensim.exe of the test folder, run as a user would run it: the end-to-end tests change
// and read the world of the program under test from outside it.

#include <string>

namespace tessard::e2e {

struct TokensimRun {
  unsigned long exitCode = 1;
  std::string output;
};

// Runs tokensim with `arguments`; fails the test when it does not end within 10 s.
TokensimRun Tokensim(const std::string& arguments);

// Runs tokensim and expects it to succeed.
void Sim(const std::string& arguments);

// What a counting command ("sessions", "taken", "waits") prints.
int TokensimCount(const std::string& command);

// Calls of one module entry, from "calls".
int CallsOf(const std::string& entry);

}  // namespace tessard::e2e
