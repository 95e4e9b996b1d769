#pragma once
// The main dialog's worker: a thread that takes object events (codes 3 to 5) off a queue
// the window thread fills, so that registering a new certificate never blocks the window.

#include <windows.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/handles.h"
#include "platform/thread.h"
#include "token/token_event.h"

namespace tessard {

class EventWorker {
 public:
  using Handler = std::function<void(const TokenEvent&)>;

  explicit EventWorker(Handler handler) : handler_(std::move(handler)) {}
  EventWorker(const EventWorker&) = delete;
  EventWorker& operator=(const EventWorker&) = delete;

  // False when its events or its thread cannot be made: there is no worker then.
  bool Start();
  // Signals the worker to end, waits for it and closes its events.
  void Stop();
  bool IsRunning() const { return thread_.IsRunning(); }

  // Called on the window thread.
  void Queue(const TokenEvent& event);
  size_t QueuedCount();

 private:
  static int32_t WorkerMain(void* worker);
  std::optional<TokenEvent> Take();

  Handler handler_;
  Thread thread_;
  UniqueHandle workEvent_;
  UniqueHandle stopEvent_;
  // Appended to by the window thread, drained by the worker; each append and each take
  // holds the mutex.
  std::deque<TokenEvent> queue_;
  std::mutex queueMutex_;
};

}  // namespace tessard
