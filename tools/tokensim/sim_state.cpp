// Where the simulated world lives and how processes take turns on it.

#include "tools/tokensim/sim_state.h"

#include <windows.h>

#include "platform/handles.h"

namespace tokensim {

namespace {

using tessard::UniqueFileHandle;
using tessard::UniqueHandle;

constexpr wchar_t kMutexName[] = L"tokensim.state";

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return buffer;
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

// Holds the named mutex for one read-modify-write of the file.
class StateLock {
 public:
  StateLock() : mutex_(::CreateMutexW(nullptr, FALSE, kMutexName)) {
    if (mutex_) {
      DWORD result = ::WaitForSingleObject(mutex_.get(), 10000);
      held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
  }
  ~StateLock() {
    if (held_) ::ReleaseMutex(mutex_.get());
  }
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
  bool Held() const { return held_; }

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};

void WakeWaiters(const std::vector<std::string>& waiters) {
  for (const std::string& name : waiters) {
    UniqueHandle event(::OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (event) ::SetEvent(event.get());
  }
}

}  // namespace

std::wstring StatePath() {
  std::wstring path = EnvironmentValue(L"TOKENSIM_STATE");
  if (!path.empty()) return path;
  std::wstring data = EnvironmentValue(L"ProgramData");
  if (data.empty()) data = L"C:\\ProgramData";
  return data + L"\\tokensim\\state.txt";
}

bool UpdateState(const std::function<bool(SimState&)>& change, bool wake) {
  std::vector<std::string> waiters;
  {
    StateLock lock;
    if (!lock.Held()) return false;
    SimState state = Parse(ReadFileText(StatePath()));
    if (!change(state)) return true;
    if (!WriteFileText(StatePath(), Serialise(state))) return false;
    waiters = state.waiters;
  }
  if (wake) WakeWaiters(waiters);
  return true;
}

SimState ReadState() {
  StateLock lock;
  return Parse(ReadFileText(StatePath()));
}

std::vector<ReaderCard> ListReaders() {
  std::vector<ReaderCard> readers;
  for (const SimSlot& slot : ReadState().slots) {
    std::string name(slot.reader.begin(), slot.reader.end());
    while (!name.empty() && name.back() == ' ') name.pop_back();
    readers.push_back({slot.id, name, slot.atr, slot.present});
  }
  return readers;
}

}  // namespace tokensim
