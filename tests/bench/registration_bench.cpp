// Registration and removal measured in this process, through the real token access and
// certificate-store code over the simulated module: module calls per certificate, the time
// of an insertion against one open of "MY" with the same adds, a crowded "MY", and the
// process's memory over insert and remove cycles. Prints one "name value" line per figure;
// scripts/bench makes the table. With --markers it makes one insertion and one removal per
// token size only, between lines on standard error that let a crypt32 trace be counted.

#include <windows.h>
// After <windows.h>, which it needs.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "certstore/certificate_encoding.h"
#include "certstore/registration.h"
#include "certstore/removal.h"
#include "token/token_access.h"
#include "tools/tokensim/sim_world.h"

namespace {

using tessard::CertBytes;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSlot = 1;
constexpr wchar_t kCrowdProvider[] = L"Tessard Bench Crowd";
constexpr wchar_t kFloorProvider[] = L"Tessard Bench Floor";

// The tag and length octets of the DER element at `at`.
size_t HeaderLength(std::span<const uint8_t> bytes, size_t at) {
  const uint8_t length = bytes[at + 1];
  return 2 + (length & 0x80 ? length & 0x7F : 0);
}

// A copy of the certificate with another serial number: a certificate of its own for the
// stores (its own thumbprint), with the same key.
CertBytes Variant(const CertBytes& base, uint16_t index) {
  CertBytes variant = base;
  const std::span<const uint8_t> all(variant);
  // Certificate SEQUENCE, then TBSCertificate SEQUENCE, then [0] version, then the serial.
  const size_t tbs = HeaderLength(all, 0);
  const size_t version = tbs + HeaderLength(all, tbs);
  const size_t serial = version + *tessard::DerElementLength(all.subspan(version));
  const size_t serialEnd = serial + *tessard::DerElementLength(all.subspan(serial));
  variant[serialEnd - 2] = static_cast<uint8_t>(index >> 8);
  variant[serialEnd - 1] = static_cast<uint8_t>(index);
  return variant;
}

tokensim::Token TokenOf(const CertBytes& base, int certificates) {
  tokensim::Token token;
  token.slot = kSlot;
  for (int i = 0; i < certificates; ++i) {
    tokensim::Certificate certificate;
    certificate.der = Variant(base, static_cast<uint16_t>(i + 1));
    certificate.key = true;
    certificate.container = "bench-" + std::to_string(i);
    token.certificates.push_back(certificate);
  }
  return token;
}

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

template <typename Work>
double Timed(Work work) {
  const auto start = Clock::now();
  work();
  return Milliseconds(Clock::now() - start);
}

struct Spread {
  double median;
  double least;
  double most;
};

Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.front(), values.back()};
}

void Print(const std::string& name, const Spread& spread) {
  std::printf("%s %.2f %.2f %.2f\n", name.c_str(), spread.median, spread.least, spread.most);
}

void Print(const std::string& name, double value) { std::printf("%s %.2f\n", name.c_str(), value); }

int32_t ModuleCalls() { return tokensim::ModuleCalls(tokensim::Calls()); }

void Marker(const char* text) {
  std::fprintf(stderr, "bench-marker %s\n", text);
  std::fflush(stderr);
}

// The same adds as an insertion of the token makes, in one open of "MY".
void AddInOneOpen(const std::vector<CertBytes>& values, const wchar_t* provider) {
  tessard::UserStores stores;
  int index = 0;
  for (const CertBytes& value : values) {
    const tessard::UniqueCertContext context = tessard::DecodeCertificate(value);
    tessard::AddCertificateToStore(
        stores, context.get(),
        {tessard::kPersonalStore, L"bench-" + std::to_wstring(index++), provider, AT_KEYEXCHANGE, std::nullopt, L""});
  }
}

void Purge(const wchar_t* provider) {
  tessard::UserStores stores;
  tessard::PurgeOwnEntries(stores, std::wstring_view(provider));
}

class Bench {
 public:
  explicit Bench(CertBytes base) : base_(std::move(base)) {}

  bool Open() { return token_.Open() == CKR_OK; }

  double Insert(int certificates) {
    tokensim::Insert(TokenOf(base_, certificates));
    return Timed([&] { token_.OnTokenInserted(kSlot, L""); });
  }

  double Remove() {
    tokensim::Remove(kSlot);
    return Timed([&] { token_.OnTokenRemoved(kSlot, false); });
  }

  void Sizes(int runs) {
    for (int certificates : {1, 10, 50}) {
      const std::string size = std::to_string(certificates);
      tokensim::ResetCalls();
      Insert(certificates);
      Print("calls_per_certificate_" + size, static_cast<double>(ModuleCalls()) / certificates);
      Remove();
      std::vector<double> inserted, removed, floor;
      std::vector<CertBytes> values;
      for (const tokensim::Certificate& certificate : TokenOf(base_, certificates).certificates) {
        values.push_back(certificate.der);
      }
      for (int run = 0; run < runs; ++run) {
        inserted.push_back(Insert(certificates));
        removed.push_back(Remove());
        floor.push_back(Timed([&] { AddInOneOpen(values, kFloorProvider); }));
        Purge(kFloorProvider);
      }
      Print("insert_ms_" + size, SpreadOf(inserted));
      Print("remove_ms_" + size, SpreadOf(removed));
      Print("floor_ms_" + size, SpreadOf(floor));
      std::vector<double> ratios;
      for (int run = 0; run < runs; ++run) ratios.push_back(inserted[run] / floor[run]);
      Print("insert_to_floor_" + size, SpreadOf(ratios));
    }
  }

  void Crowded(int runs, int unrelated) {
    std::vector<CertBytes> crowd;
    for (int i = 0; i < unrelated; ++i) crowd.push_back(Variant(base_, static_cast<uint16_t>(1000 + i)));
    AddInOneOpen(crowd, kCrowdProvider);
    std::vector<CertBytes> five;
    for (const tokensim::Certificate& certificate : TokenOf(base_, 5).certificates) five.push_back(certificate.der);
    std::vector<double> inserted, removed, floor;
    for (int run = 0; run < runs; ++run) {
      inserted.push_back(Insert(5));
      removed.push_back(Remove());
      floor.push_back(Timed([&] { AddInOneOpen(five, kFloorProvider); }));
      Purge(kFloorProvider);
    }
    Purge(kCrowdProvider);
    const std::string crowdSize = std::to_string(unrelated);
    Print("crowded_insert_ms_" + crowdSize, SpreadOf(inserted));
    Print("crowded_remove_ms_" + crowdSize, SpreadOf(removed));
    Print("crowded_floor_ms_" + crowdSize, SpreadOf(floor));
  }

  // The program's cycles against the floor's: one open of "MY" adding the same 50, and one
  // purging them, in the same process, so that what crypt32 itself keeps is told apart.
  void Memory() {
    std::vector<CertBytes> values;
    for (const tokensim::Certificate& certificate : TokenOf(base_, 50).certificates) values.push_back(certificate.der);
    MemoryOver("cycles", [&] {
      Insert(50);
      Remove();
    });
    MemoryOver("floor_cycles", [&] {
      AddInOneOpen(values, kFloorProvider);
      Purge(kFloorProvider);
    });
  }

  template <typename Cycle>
  void MemoryOver(const std::string& name, Cycle cycle) {
    int done = 0;
    for (int cycles : {1, 20, 60}) {
      for (; done < cycles; ++done) cycle();
      PROCESS_MEMORY_COUNTERS memory{};
      ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
      Print("working_set_kb_after_" + std::to_string(cycles) + "_" + name, memory.WorkingSetSize / 1024.0);
    }
  }

  void Markers() {
    for (int certificates : {1, 10, 50}) {
      const std::string size = std::to_string(certificates);
      Marker(("insert " + size).c_str());
      Insert(certificates);
      Marker(("remove " + size).c_str());
      Remove();
      Marker("end");
    }
  }

 private:
  CertBytes base_;
  tessard::TokenAccess token_;
};

CertBytes ReadFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return CertBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: registration_bench CERTIFICATE.der [--runs N] [--markers]\n");
    return 2;
  }
  int runs = 5;
  bool markers = false;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    if (option == "--markers") markers = true;
  }
  const CertBytes base = ReadFile(argv[1]);
  if (!tessard::DecodeCertificate(base)) {
    std::fprintf(stderr, "registration_bench: %s is no certificate\n", argv[1]);
    return 2;
  }
  tokensim::Reset();
  Bench bench(base);
  if (!bench.Open()) {
    std::fprintf(stderr, "registration_bench: the simulated module did not open\n");
    return 1;
  }
  if (markers) {
    bench.Markers();
    return 0;
  }
  bench.Sizes(runs);
  bench.Crowded(runs, 2000);
  bench.Memory();
  return 0;
}
