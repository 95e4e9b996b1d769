#include "platform/thread.h"

#include <process.h>

namespace tessard {

Thread::~Thread() { Stop(); }

int Thread::Start(Procedure procedure, StopCallback stopCallback, void* parameter) {
  if (IsRunning()) return 1;
  Stop();
  stopRequested_.store(false, std::memory_order_release);
  procedure_ = procedure;
  stopCallback_ = stopCallback;
  parameter_ = parameter;
  returned_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!returned_) return 1;
  // Marked running before the thread exists, so that a Stop right after Start waits for
  // the procedure instead of finding nothing to stop and letting it run on unasked.
  running_.store(true, std::memory_order_release);
  const uintptr_t handle = ::_beginthreadex(nullptr, 0, &Thread::ThreadEntry, this, 0, nullptr);
  if (handle == 0) {
    running_.store(false, std::memory_order_release);
    return 1;
  }
  handle_.reset(reinterpret_cast<HANDLE>(handle));
  return 0;
}

unsigned __stdcall Thread::ThreadEntry(void* self) {
  auto* thread = static_cast<Thread*>(self);
  thread->result_.store(0, std::memory_order_release);
  thread->result_.store(thread->procedure_(thread->parameter_), std::memory_order_release);
  thread->running_.store(false, std::memory_order_release);
  ::SetEvent(thread->returned_.get());
  return 0;
}

bool Thread::Stop(DWORD limitMs) {
  bool ended = true;
  if (IsRunning()) {
    stopRequested_.store(true, std::memory_order_release);
    if (stopCallback_ != nullptr && !stopCallback_(parameter_)) {
      Terminate();
      ended = false;
    } else if (handle_) {
      // Ends as soon as the procedure has returned, even while the thread itself is still on
      // its way out.
      const HANDLE ends[] = {returned_.get(), handle_.get()};
      if (::WaitForMultipleObjects(2, ends, FALSE, limitMs) == WAIT_TIMEOUT) {
        Terminate();
        ended = false;
      }
    }
  }
  handle_.reset();
  return ended;
}

void Thread::Terminate() {
  if (IsRunning() && handle_) {
    ::TerminateThread(handle_.get(), 0);
    running_.store(false, std::memory_order_release);
  }
}

}  // namespace tessard
