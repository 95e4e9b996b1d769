#pragma once
// The tokens whose reading a module error cut short, read again a few times a second apart:
// a module that errs for a moment (a USB hiccup, a busy card) is asked again, one that keeps
// failing is given up. Free of <windows.h>; the main dialog runs the rounds from its timer.

#include <cstdint>
#include <map>
#include <vector>

namespace tessard {

enum class ReadOutcome { Whole, InPart, Ending };

class ReadAgain {
 public:
  static constexpr int kTries = 3;
  static constexpr unsigned kDelayMs = 1000;

  // The slot is read again, with all its tries, from the next round on.
  void Schedule(std::uint32_t slot) { tries_[slot] = kTries; }
  void Cancel(std::uint32_t slot) { tries_.erase(slot); }
  bool Pending() const { return !tries_.empty(); }

  // Reads each slot due once: `read(slot)` says whether the read came out whole. A slot leaves
  // once whole or out of tries; Ending ends the round. `read` may run a modal loop in which the
  // next round is due already: that round waits for this one to end, and a slot cancelled
  // meanwhile is not read again.
  template <typename Read>
  void Round(Read read) {
    if (inRound_) return;
    inRound_ = true;
    std::vector<std::uint32_t> due;
    for (const auto& [slot, tries] : tries_) due.push_back(slot);
    for (std::uint32_t slot : due) {
      if (!tries_.contains(slot)) continue;
      const ReadOutcome outcome = read(slot);
      const auto pending = tries_.find(slot);
      if (pending != tries_.end() && (outcome == ReadOutcome::Whole || --pending->second == 0)) tries_.erase(pending);
      if (outcome == ReadOutcome::Ending) break;
    }
    inRound_ = false;
  }

 private:
  std::map<std::uint32_t, int> tries_;  // tries left
  bool inRound_ = false;
};

}  // namespace tessard
