#pragma once
// The simulated token in a test: a world of the running test case's own (so that test
// programs running side by side do not share tokens), changed and read in-process through
// the simulator's typed interface.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/tokensim/sim_world.h"

namespace tessard::testing {

// Points this process, and every program it starts, at a world of the running test case,
// and empties that world. From then on this process keeps the world's counters, so that
// they outlive the programs it starts.
void UseOwnSimulatorWorld();

// Expects the change to have been made; gives the object handles it made or took.
std::vector<uint32_t> Sim(const tokensim::Handles& change);
void Sim(tokensim::Outcome change);

// Asks until the condition holds, such as a simulator counter reaching what the test waits
// for; false once `limit` has passed, which only a test that hangs reaches.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10));

// A certificate of tests/data, as DER.
tokensim::Bytes TestCertificate(const std::string& name);

}  // namespace tessard::testing
