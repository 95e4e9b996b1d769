#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace tessard {
namespace {

using Clock = std::chrono::steady_clock;

struct Probe {
  Thread* thread = nullptr;
  std::atomic<int> turns{0};
  std::atomic<bool> release{false};
};

int32_t ReturnSeven(void*) { return 7; }

int32_t LoopUntilStopRequested(void* parameter) {
  auto* probe = static_cast<Probe*>(parameter);
  while (!probe->thread->IsStopRequested()) {
    ++probe->turns;
    ::Sleep(5);
  }
  return 3;
}

int32_t SpinUntilReleased(void* parameter) {
  auto* probe = static_cast<Probe*>(parameter);
  while (!probe->release) ::Sleep(1);
  return 1;
}

// Spins without calling into the system, so that terminating it cannot leave a lock of
// the runtime held.
int32_t SpinWithoutCalls(void* parameter) {
  auto* probe = static_cast<Probe*>(parameter);
  ++probe->turns;
  while (!probe->release.load(std::memory_order_relaxed)) {
  }
  return 1;
}

bool WillNotEnd(void*) { return false; }

void WaitUntilFinished(const Thread& thread) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (thread.IsRunning() && Clock::now() < deadline) ::Sleep(1);
}

TEST(Thread, StopOnFreshThreadReturnsAtOnce) {
  Thread thread;
  const auto start = Clock::now();
  thread.Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.Result(), -1);
}

TEST(Thread, SecondStartWhileRunningIsRefused) {
  Probe probe;
  Thread thread;
  probe.thread = &thread;
  ASSERT_EQ(thread.Start(&SpinUntilReleased, nullptr, &probe), 0);
  EXPECT_EQ(thread.Start(&ReturnSeven, nullptr, nullptr), 1);
  EXPECT_TRUE(thread.IsRunning());
  probe.release = true;
  thread.Stop();
  EXPECT_EQ(thread.Result(), 1);
}

TEST(Thread, ResultIsKeptAndThreadCanStartAgain) {
  Thread thread;
  ASSERT_EQ(thread.Start(&ReturnSeven, nullptr, nullptr), 0);
  WaitUntilFinished(thread);
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.Result(), 7);
  EXPECT_EQ(thread.Start(&ReturnSeven, nullptr, nullptr), 0);
  thread.Stop();
  EXPECT_EQ(thread.Result(), 7);
}

TEST(Thread, StopEndsAPollingProcedureOnRequest) {
  Probe probe;
  Thread thread;
  probe.thread = &thread;
  ASSERT_EQ(thread.Start(&LoopUntilStopRequested, nullptr, &probe), 0);
  while (probe.turns == 0) ::Sleep(1);
  const auto start = Clock::now();
  thread.Stop();
  const auto took = Clock::now() - start;
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.Result(), 3);
  EXPECT_LT(took, std::chrono::milliseconds(1000));
}

TEST(Thread, StopRightAfterStartStillWaitsForTheProcedure) {
  Probe probe;
  Thread thread;
  probe.thread = &thread;
  ASSERT_EQ(thread.Start(&LoopUntilStopRequested, nullptr, &probe), 0);
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.Result(), 3);
}

TEST(Thread, DestructionStopsARunningProcedure) {
  Probe probe;
  {
    Thread thread;
    probe.thread = &thread;
    ASSERT_EQ(thread.Start(&LoopUntilStopRequested, nullptr, &probe), 0);
    while (probe.turns == 0) ::Sleep(1);
  }
  const int turns = probe.turns;
  ::Sleep(50);
  EXPECT_EQ(probe.turns, turns);
}

TEST(Thread, StopCallbackSayingNoTerminatesTheThread) {
  Probe probe;
  Thread thread;
  probe.thread = &thread;
  ASSERT_EQ(thread.Start(&SpinWithoutCalls, &WillNotEnd, &probe), 0);
  // Past the thread's start-up, which runs under the loader's lock.
  while (probe.turns == 0) ::Sleep(1);
  const auto start = Clock::now();
  thread.Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(90));
  EXPECT_FALSE(thread.IsRunning());
}

}  // namespace
}  // namespace tessard
