// SPDX-License-Identifier: MIT
// The moment a wait must end, on the steady clock, or none: what the
// client's calls and the whole writes of the service count their time
// limits by, and what poll(2) is handed as its timeout.
#pragma once

#include <chrono>

namespace zv {

/// When a wait ends: at a point of the steady clock, or never.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  /// A wait without end.
  static Deadline Never() { return Deadline(); }
  /// `timeout_ms` milliseconds from now; negative: Never().
  static Deadline In(int timeout_ms);

  bool never() const { return never_; }
  /// The time left as poll(2) takes it: -1 for Never(), else whole
  /// milliseconds rounded up, 0 once the moment has passed.
  int PollTimeoutMs() const;

 private:
  Deadline() = default;

  bool never_ = true;
  Clock::time_point at_{};
};

}  // namespace zv
