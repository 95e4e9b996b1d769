// The real tessard.exe measured from outside, as a user's session sees it: from a token's
// insertion to its certificates in the store and from its removal to "MY" clean, against one
// open of "MY" doing the same adds or deletions here (the floor); module calls through the
// simulator's counters; store opens from Wine's crypt32 trace of the program; start-up and the
// end on "-t"; how the costs grow with unrelated entries in "MY"; and insert and remove cycles
// for scripts/bench to read the program's memory between. Prints "name value..." lines.
//   program_bench sizes RUNS | opens | startup RUNS | scale RUNS | cycles N

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "certstore/registration.h"
#include "certstore/removal.h"
#include "platform/executable.h"
#include "platform/handles.h"
#include "token/product_info.h"
#include "tools/tokensim/sim_world.h"

namespace {

using tessard::CertBytes;
using tessard::UniqueHandle;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSlot = 1;
constexpr wchar_t kMyCertificates[] = L"Software\\Microsoft\\SystemCertificates\\MY\\Certificates";
constexpr wchar_t kFloorProvider[] = L"Tessard Bench Floor";
constexpr wchar_t kCrowdProvider[] = L"Tessard Bench Crowd";
constexpr DWORD kLimitMs = 120000;
constexpr int kStartupTimerMs = 200;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

struct Spread {
  double median, least, most;
};

Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.front(), values.back()};
}

void Print(const std::string& name, const Spread& spread) {
  std::printf("%s %.2f %.2f %.2f\n", name.c_str(), spread.median, spread.least, spread.most);
  std::fflush(stdout);
}

// The serial number's last two bytes changed: a certificate of its own, with the same key.
CertBytes Variant(const CertBytes& base, uint16_t index) {
  CertBytes variant = base;
  const auto header = [&](size_t at) { return 2 + (variant[at + 1] & 0x80 ? variant[at + 1] & 0x7F : 0); };
  const auto element = [&](size_t at) {
    size_t length = variant[at + 1];
    if (length & 0x80) {
      const size_t octets = length & 0x7F;
      length = 0;
      for (size_t i = 0; i < octets; ++i) length = (length << 8) | variant[at + 2 + i];
    }
    return header(at) + length;
  };
  const size_t tbs = header(0);
  const size_t serial = tbs + header(tbs) + element(tbs + header(tbs));
  const size_t end = serial + element(serial);
  variant[end - 2] = static_cast<uint8_t>(index >> 8);
  variant[end - 1] = static_cast<uint8_t>(index);
  return variant;
}

std::vector<CertBytes> Variants(const CertBytes& base, int count, uint16_t first) {
  std::vector<CertBytes> values;
  for (int i = 0; i < count; ++i) values.push_back(Variant(base, static_cast<uint16_t>(first + i)));
  return values;
}

tokensim::Token TokenOf(const std::vector<CertBytes>& values) {
  tokensim::Token token;
  token.slot = kSlot;
  for (size_t i = 0; i < values.size(); ++i) {
    token.certificates.push_back({.der = values[i], .key = true, .container = "bench-" + std::to_string(i)});
  }
  return token;
}

// The registry entries of "MY", each a certificate; waited for through change notifications.
DWORD StoredCount(HKEY key) {
  DWORD count = 0;
  ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
  return count;
}

class MyWatch {
 public:
  MyWatch() : changed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, kMyCertificates, 0, nullptr, 0, KEY_READ | KEY_NOTIFY, nullptr, key_.put(),
                      nullptr);
  }
  DWORD Count() const { return StoredCount(key_.get()); }
  // Waits until "MY" holds `count` entries; false after the limit.
  bool WaitFor(DWORD count) {
    const auto end = Clock::now() + std::chrono::milliseconds(kLimitMs);
    for (;;) {
      ::RegNotifyChangeKeyValue(key_.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, changed_.get(),
                                TRUE);
      if (Count() == count) return true;
      if (Clock::now() > end) return false;
      ::WaitForSingleObject(changed_.get(), 100);
    }
  }

 private:
  tessard::UniqueRegKey key_;
  UniqueHandle changed_;
};

void AddToMy(const std::vector<CertBytes>& values, const wchar_t* provider) {
  tessard::UserStores stores;
  int index = 0;
  for (const CertBytes& value : values) {
    tessard::AddCertificateToStore(
        stores, tessard::DecodeCertificate(value).get(),
        {tessard::kPersonalStore, L"bench-" + std::to_wstring(index++), provider, AT_KEYEXCHANGE, std::nullopt, L""});
  }
}

void Purge(const wchar_t* provider) {
  tessard::UserStores stores;
  tessard::PurgeOwnEntries(stores, std::wstring_view(provider));
}

int32_t Calls() { return tokensim::ModuleCalls(tokensim::Calls()); }

// tessard.exe of this folder.
class Tessard {
 public:
  explicit Tessard(const std::wstring& arguments = L"") {
    std::wstring line = L"\"" + tessard::ExecutableFolder() + L"tessard.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, tessard::ExecutableFolder().c_str(),
                         &startup, &started)) {
      process_.reset(started.hProcess);
      UniqueHandle thread(started.hThread);
    }
  }
  bool Ended(DWORD limitMs = kLimitMs) const {
    return !process_ || ::WaitForSingleObject(process_.get(), limitMs) == WAIT_OBJECT_0;
  }

 private:
  UniqueHandle process_;
};

bool WaitUntil(bool (*condition)()) {
  const auto end = Clock::now() + std::chrono::milliseconds(kLimitMs);
  while (!condition()) {
    if (Clock::now() > end) return false;
    ::Sleep(1);
  }
  return true;
}

bool WaitsForEvents() { return tokensim::WaitsInProgress() > 0; }

// "-t", and the time until the running program has ended.
double End(Tessard& program) {
  const auto start = Clock::now();
  Tessard terminate(L"-t");
  program.Ended();
  return Milliseconds(Clock::now() - start);
}

class Bench {
 public:
  explicit Bench(CertBytes base) : base_(std::move(base)) {}

  // Insertion to registered and removal to "MY" clean, against the floor.
  void Sizes(int runs) {
    Tessard program;
    WaitUntil(WaitsForEvents);
    for (int count : {1, 10, 50}) {
      const std::string size = std::to_string(count);
      const std::vector<CertBytes> values = Variants(base_, count, 1);
      std::vector<double> inserted, removed, addFloor, deleteFloor, insertCalls, removeCalls;
      for (int run = 0; run < runs; ++run) {
        tokensim::ResetCalls();
        inserted.push_back(Insertion(values));
        insertCalls.push_back(static_cast<double>(Calls()) / count);
        tokensim::ResetCalls();
        removed.push_back(Removal());
        removeCalls.push_back(Calls());
        addFloor.push_back(Timed([&] { AddToMy(values, kFloorProvider); }));
        deleteFloor.push_back(Timed([&] { Purge(kFloorProvider); }));
      }
      Print("program_insert_ms_" + size, SpreadOf(inserted));
      Print("program_insert_floor_ms_" + size, SpreadOf(addFloor));
      Print("program_insert_ratio_" + size, SpreadOf(Ratios(inserted, addFloor)));
      Print("program_remove_ms_" + size, SpreadOf(removed));
      Print("program_remove_floor_ms_" + size, SpreadOf(deleteFloor));
      Print("program_remove_ratio_" + size, SpreadOf(Ratios(removed, deleteFloor)));
      Print("program_insert_calls_per_certificate_" + size, SpreadOf(insertCalls));
      Print("program_remove_calls_" + size, SpreadOf(removeCalls));
    }
    End(program);
  }

  // One insertion and removal per size between markers on standard error, where Wine's crypt32
  // trace of the program goes too when WINEDEBUG asks for it: scripts/bench counts the store
  // opens between them. Nothing here opens a store.
  void Opens() {
    const auto marker = [](const std::string& name) {
      std::fprintf(stderr, "bench-marker %s\n", name.c_str());
      std::fflush(stderr);
    };
    Tessard program;
    WaitUntil(WaitsForEvents);
    marker("startup");
    for (int count : {1, 10, 50}) {
      Insertion(Variants(base_, count, 1));
      marker("insert_" + std::to_string(count));
      Removal();
      marker("remove_" + std::to_string(count));
    }
    Insertion(Variants(base_, 5, 1));
    marker("insert_5");
    End(program);
    marker("exit_with_token");
  }

  // Process start to the monitor running with one token registered; the end on "-t".
  void Startup(int runs) {
    std::vector<double> started, ended;
    for (int run = 0; run < runs; ++run) {
      tokensim::Insert(TokenOf(Variants(base_, 1, 1)));
      const DWORD before = watch_.Count();
      const auto start = Clock::now();
      Tessard program;
      watch_.WaitFor(before + 1);
      WaitUntil(WaitsForEvents);
      started.push_back(Milliseconds(Clock::now() - start) - kStartupTimerMs);
      ended.push_back(End(program));
      tokensim::Remove(kSlot);
    }
    Print("startup_beyond_timer_ms", SpreadOf(started));
    Print("exit_ms", SpreadOf(ended));
  }

  // How the costs grow with unrelated entries in "MY": insertion, removal, the purges.
  void Scale(int runs) {
    for (int unrelated : {0, 500, 2000}) {
      AddToMy(Variants(base_, unrelated, 1000), kCrowdProvider);
      const std::vector<CertBytes> values = Variants(base_, 5, 1);
      std::vector<double> inserted, removed, startPurge, exitPurge;
      for (int run = 0; run < runs; ++run) {
        // Entries of the provider left by a killed instance: the start-up purge takes them out.
        AddToMy(values, tessard::kProductInfo.providerName);
        const DWORD stale = watch_.Count();
        const auto start = Clock::now();
        Tessard program;
        watch_.WaitFor(stale - 5);
        startPurge.push_back(Milliseconds(Clock::now() - start));
        WaitUntil(WaitsForEvents);
        inserted.push_back(Insertion(values));
        removed.push_back(Removal());
        Insertion(values);
        exitPurge.push_back(End(program));
        tokensim::Remove(kSlot);
      }
      Purge(kCrowdProvider);
      const std::string crowd = std::to_string(unrelated);
      Print("scale_insert_ms_" + crowd, SpreadOf(inserted));
      Print("scale_remove_ms_" + crowd, SpreadOf(removed));
      Print("scale_start_purge_ms_" + crowd, SpreadOf(startPurge));
      Print("scale_exit_purge_ms_" + crowd, SpreadOf(exitPurge));
    }
  }

  // Insert and remove cycles of a 50-certificate token with the running program.
  void Cycles(int cycles) {
    const std::vector<CertBytes> values = Variants(base_, 50, 1);
    for (int cycle = 0; cycle < cycles; ++cycle) {
      Insertion(values);
      Removal();
    }
    std::printf("cycles_done %d\n", cycles);
  }

 private:
  template <typename Work>
  static double Timed(Work work) {
    const auto start = Clock::now();
    work();
    return Milliseconds(Clock::now() - start);
  }

  static std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size(); ++i) ratios.push_back(a[i] / b[i]);
    return ratios;
  }

  double Insertion(const std::vector<CertBytes>& values) {
    const DWORD before = watch_.Count();
    const auto start = Clock::now();
    tokensim::Insert(TokenOf(values));
    inserted_ = static_cast<DWORD>(values.size());
    watch_.WaitFor(before + inserted_);
    return Milliseconds(Clock::now() - start);
  }

  double Removal() {
    const DWORD before = watch_.Count();
    const auto start = Clock::now();
    tokensim::Remove(kSlot);
    watch_.WaitFor(before - inserted_);
    return Milliseconds(Clock::now() - start);
  }

  CertBytes base_;
  MyWatch watch_;
  DWORD inserted_ = 0;  // the last token's certificates, all of them in "MY"
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: program_bench CERTIFICATE.der sizes RUNS | opens | startup RUNS | scale RUNS | cycles N\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const CertBytes base{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::string what = argv[2];
  const int number = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  Bench bench(base);
  if (what == "sizes") bench.Sizes(number);
  if (what == "opens") bench.Opens();
  if (what == "startup") bench.Startup(number);
  if (what == "scale") bench.Scale(number);
  if (what == "cycles") bench.Cycles(number);
  return 0;
}
