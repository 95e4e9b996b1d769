#pragma once
// Owns one worker thread: starts it on a procedure, tells whether the procedure still
// executes, and stops it cooperatively (a flag the procedure polls, then a wait).

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/handles.h"

namespace tessard {

class Thread {
 public:
  using Procedure = int32_t (*)(void* parameter);
  // Asked by Stop whether the procedure will end by itself; false makes Stop terminate it.
  using StopCallback = bool (*)(void* parameter);

  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // 0 when the thread was started, 1 when a procedure still runs or creation failed.
  int Start(Procedure procedure, StopCallback stopCallback, void* parameter);
  // Asks the procedure to end and waits until it has returned; past `limitMs` the thread is
  // terminated. False when it had to be.
  bool Stop(DWORD limitMs = INFINITE);

  bool IsRunning() const { return running_.load(std::memory_order_acquire); }
  bool IsStopRequested() const { return stopRequested_.load(std::memory_order_acquire); }
  int32_t Result() const { return result_.load(std::memory_order_acquire); }

 private:
  static unsigned __stdcall ThreadEntry(void* self);
  void Terminate();

  UniqueHandle handle_;
  UniqueHandle returned_;  // set once the procedure has returned: the thread may still be exiting
  Procedure procedure_ = nullptr;
  StopCallback stopCallback_ = nullptr;
  void* parameter_ = nullptr;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> running_{false};
  std::atomic<int32_t> result_{-1};
};

}  // namespace tessard
