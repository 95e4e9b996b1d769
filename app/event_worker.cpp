#include "app/event_worker.h"

namespace tessard {

bool EventWorker::Start() {
  workEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  stopEvent_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!workEvent_ || !stopEvent_) {
    workEvent_.reset();
    stopEvent_.reset();
    return false;
  }
  return thread_.Start(&EventWorker::WorkerMain, nullptr, this) == 0;
}

void EventWorker::Stop() {
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  thread_.Stop();
  stopEvent_.reset();
  workEvent_.reset();
}

void EventWorker::Queue(const TokenEvent& event) {
  {
    std::lock_guard<std::mutex> hold(queueMutex_);
    queue_.push_back(event);
  }
  ::SetEvent(workEvent_.get());
}

size_t EventWorker::QueuedCount() {
  std::lock_guard<std::mutex> hold(queueMutex_);
  return queue_.size();
}

std::optional<TokenEvent> EventWorker::Take() {
  std::lock_guard<std::mutex> hold(queueMutex_);
  if (queue_.empty()) return std::nullopt;
  TokenEvent event = queue_.front();
  queue_.pop_front();
  return event;
}

int32_t EventWorker::WorkerMain(void* parameter) {
  auto* worker = static_cast<EventWorker*>(parameter);
  while (!worker->thread_.IsStopRequested()) {
    if (worker->QueuedCount() == 0) {
      const HANDLE events[] = {worker->workEvent_.get(), worker->stopEvent_.get()};
      if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return 1;
    }
    if (std::optional<TokenEvent> event = worker->Take()) {
      worker->handler_(*event);
      ::Sleep(0);
    }
  }
  return 1;
}

}  // namespace tessard
