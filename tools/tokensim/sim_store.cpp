// Where the simulated world lives, how processes take turns on it and how each of them
// knows that its copy is still the world.

#include "tools/tokensim/sim_store.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>

#include "platform/handles.h"
#include "platform/unique_resource.h"

namespace tokensim {

namespace {

using tessard::UniqueFileHandle;
using tessard::UniqueHandle;

// Long enough for any writer; a holder that never lets go makes the world unreachable.
constexpr DWORD kLockTimeoutMs = 10000;

using UniqueMappedView = tessard::UniqueResource<void*, &::UnmapViewOfFile>;

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return buffer;
}

// The file that holds the world.
std::wstring StatePath() {
  std::wstring path = EnvironmentValue(L"TOKENSIM_STATE");
  if (!path.empty()) return path;
  std::wstring data = EnvironmentValue(L"ProgramData");
  if (data.empty()) data = L"C:\\ProgramData";
  return data + L"\\tokensim\\state.txt";
}

std::string ReadFileText(const std::wstring& path) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  return text;
}

bool WriteFileText(const std::wstring& path, const std::string& text) {
  std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  ::CreateDirectoryW(folder.c_str(), nullptr);
  UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// Kernel object names may not hold backslashes, and one file may be named in any case: the
// names carry a hash (FNV-1a) of the lower-cased path instead.
std::wstring ObjectNameOf(const std::wstring& path) {
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : path) {
    hash ^= static_cast<uint64_t>(std::towlower(c));
    hash *= 1099511628211ull;
  }
  std::wstring name = L"tokensim.";
  for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 15];
  return name;
}

// Holds the world's named mutex for one read or read-modify-write of the file.
class StateLock {
 public:
  explicit StateLock(HANDLE mutex) : mutex_(mutex) {
    if (mutex_ != nullptr) {
      DWORD result = ::WaitForSingleObject(mutex_, kLockTimeoutMs);
      held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
  }
  ~StateLock() {
    if (held_) ::ReleaseMutex(mutex_);
  }
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
  bool Held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

// One world as this copy of the library knows it. Kept for the life of the process once
// visited, so that its counters stay where callers were told they are.
struct WorldLink {
  explicit WorldLink(const std::wstring& statePath)
      : path(statePath),
        name(ObjectNameOf(path)),
        mutex(::CreateMutexW(nullptr, FALSE, (name + L".lock").c_str())),
        mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Counters),
                                     (name + L".shared").c_str())),
        view(mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Counters)) : nullptr),
        counters(view ? static_cast<Counters*>(view.get()) : &ownCounters) {}

  // Without shared memory no writer can say that the world changed: every read reads it.
  bool IsCurrent() const { return view && cached && counters->Generation() == generation; }

  // Under the named mutex.
  void Refresh() {
    generation = counters->Generation();
    state = Parse(ReadFileText(path));
    cached = true;
  }

  const std::wstring path;
  const std::wstring name;
  UniqueHandle mutex;
  UniqueHandle mapping;
  UniqueMappedView view;
  Counters ownCounters{};
  Counters* const counters;
  bool cached = false;
  int32_t generation = 0;
  SimState state;
};

class WorldLinks {
 public:
  std::mutex& Mutex() { return mutex_; }

  // Under Mutex().
  WorldLink& Current() {
    std::wstring path = StatePath();
    std::unique_ptr<WorldLink>& link = links_[path];
    if (!link) link = std::make_unique<WorldLink>(path);
    return *link;
  }

 private:
  std::mutex mutex_;
  std::map<std::wstring, std::unique_ptr<WorldLink>> links_;
};

WorldLinks& TheLinks() {
  static WorldLinks links;
  return links;
}

void WakeWaiters(const std::vector<std::string>& waiters) {
  for (const std::string& name : waiters) {
    UniqueHandle event(::OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (event) ::SetEvent(event.get());
  }
}

int32_t Load(const int32_t& counter) { return std::atomic_ref<int32_t>(const_cast<int32_t&>(counter)).load(); }

int32_t Add(int32_t& counter, int32_t delta) { return std::atomic_ref<int32_t>(counter).fetch_add(delta) + delta; }

void Store(int32_t& counter, int32_t value) { std::atomic_ref<int32_t>(counter).store(value); }

}  // namespace

bool ReadWorld(const std::function<void(const SimState&)>& read) {
  std::lock_guard<std::mutex> hold(TheLinks().Mutex());
  WorldLink& link = TheLinks().Current();
  if (!link.IsCurrent()) {
    StateLock lock(link.mutex.get());
    if (!lock.Held()) return false;
    link.Refresh();
  }
  read(link.state);
  return true;
}

bool UpdateWorld(const std::function<bool(SimState&)>& change, bool wake) {
  std::vector<std::string> waiters;
  {
    std::lock_guard<std::mutex> hold(TheLinks().Mutex());
    WorldLink& link = TheLinks().Current();
    StateLock lock(link.mutex.get());
    if (!lock.Held()) return false;
    if (!link.IsCurrent()) link.Refresh();
    SimState changed = link.state;
    if (!change(changed)) return true;
    bool written = WriteFileText(link.path, Serialise(changed));
    // Told even when the write failed: the file is what every reader finds next.
    link.generation = link.counters->BumpGeneration();
    link.state = std::move(changed);
    if (!written) {
      link.cached = false;
      return false;
    }
    waiters = link.state.waiters;
  }
  if (wake) WakeWaiters(waiters);
  return true;
}

int32_t Counters::Generation() const { return Load(generation_); }

int32_t Counters::BumpGeneration() { return Add(generation_, 1); }

void Counters::CountCall(Entry entry) { Add(calls_[static_cast<size_t>(entry)], 1); }

CallCounts Counters::Calls() const {
  CallCounts calls{};
  for (size_t i = 0; i < kEntryCount; ++i) calls[i] = Load(calls_[i]);
  return calls;
}

void Counters::ResetCalls() {
  for (int32_t& calls : calls_) Store(calls, 0);
}

void Counters::AddOpenSessions(int32_t delta) {
  std::atomic_ref<int32_t> sessions(openSessions_);
  int32_t now = sessions.load();
  while (!sessions.compare_exchange_weak(now, std::max(0, now + delta))) {
  }
}

int32_t Counters::OpenSessions() const { return Load(openSessions_); }

void Counters::CountEventTaken() { Add(eventsTaken_, 1); }

int32_t Counters::EventsTaken() const { return Load(eventsTaken_); }

void Counters::AddWaitsInProgress(int32_t delta) { Add(waitsInProgress_, delta); }

int32_t Counters::WaitsInProgress() const { return Load(waitsInProgress_); }

void Counters::Reset() {
  ResetCalls();
  Store(openSessions_, 0);
  Store(eventsTaken_, 0);
}

Counters& WorldCounters() {
  std::lock_guard<std::mutex> hold(TheLinks().Mutex());
  return *TheLinks().Current().counters;
}

std::vector<ReaderCard> ListReaders() {
  std::vector<ReaderCard> readers;
  ReadWorld([&](const SimState& state) {
    for (const SimSlot& slot : state.slots) {
      std::string name(slot.reader.begin(), slot.reader.end());
      while (!name.empty() && name.back() == ' ') name.pop_back();
      readers.push_back({slot.id, name, slot.atr, slot.present});
    }
  });
  return readers;
}

}  // namespace tokensim
