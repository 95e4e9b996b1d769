#pragma once
// How long the monitor waits before it asks a failing module for the next event again:
// not at all after a success, then from 10 ms doubling up to 1 s while the failures go on,
// so that a module that keeps failing costs next to nothing and one that recovers is heard
// again within a second. Free of <windows.h>.

#include <algorithm>

namespace tessard {

class FailureBackoff {
 public:
  static constexpr unsigned kFirstPauseMs = 10;
  static constexpr unsigned kLongestPauseMs = 1000;

  // The last call failed.
  bool Failing() const { return pauseMs_ != 0; }

  // The pause before the next call, after a call that failed or not.
  unsigned PauseAfter(bool failed) {
    if (!failed) {
      pauseMs_ = 0;
    } else {
      pauseMs_ = pauseMs_ == 0 ? kFirstPauseMs : std::min(pauseMs_ * 2, kLongestPauseMs);
    }
    return pauseMs_;
  }

 private:
  unsigned pauseMs_ = 0;
};

}  // namespace tessard
