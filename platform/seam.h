#pragma once
// A call the program makes through a replaceable function: the real call unless a test has put
// a stand-in in its place, for as long as the test's replacement lives. Free of <windows.h>.
//
//   Seam<int(int)> twice{&RealTwice};
//   twice(2);                                   // RealTwice(2)
//   { auto standIn = twice.Replace(&Fake); }    // Fake until the end of the block

#include <atomic>
#include <utility>

namespace tessard {

template <typename Signature>
class Seam;

template <typename Result, typename... Arguments>
class Seam<Result(Arguments...)> {
 public:
  using Function = Result (*)(Arguments...);

  // A function of the program's own, so that the seam is ready before static initialisation.
  constexpr explicit Seam(Function real) noexcept : current_(real) {}
  Seam(const Seam&) = delete;
  Seam& operator=(const Seam&) = delete;

  Result operator()(Arguments... arguments) const {
    return current_.load(std::memory_order_acquire)(std::forward<Arguments>(arguments)...);
  }

  // Puts back what was in place when it was made; replacements nest.
  class [[nodiscard]] Replacement {
   public:
    Replacement(Seam& seam, Function function) noexcept
        : seam_(seam), previous_(seam.current_.exchange(function, std::memory_order_acq_rel)) {}
    ~Replacement() { seam_.current_.store(previous_, std::memory_order_release); }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

   private:
    Seam& seam_;
    Function previous_;
  };

  [[nodiscard]] Replacement Replace(Function function) noexcept { return Replacement(*this, function); }

 private:
  // Atomic: worker threads call while a test's thread replaces.
  std::atomic<Function> current_;
};

}  // namespace tessard
