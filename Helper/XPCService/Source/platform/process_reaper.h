// SPDX-License-Identifier: MIT
// Reaping of helper processes their starter is done with, off its path:
// each is watched through its pidfd until it has ended, however long that
// takes (a process held by a tracer, or asleep in the kernel, ends only
// when it can), and then reaped, so that none is left a zombie and none is
// told ended before it is.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/helper_process.h"

namespace zv {

/// The processes waited for, and their reaping. Add from any thread; Reap
/// from one thread at a time.
class ProcessReaper {
 public:
  /// How long a process that has ended but cannot be reaped yet (a tracer
  /// holds its end) waits between two tries: its pidfd stays readable, so
  /// it cannot be waited for.
  static constexpr int kHeldRetryMs = 1000;

  /// `reaped` runs on the thread of Reap, once for each process, after it
  /// was reaped, with its pid and wait status.
  explicit ProcessReaper(std::function<void(pid_t pid, int status)> reaped);
  /// Closes the pidfds of the processes still waited for; the kernel
  /// reaps them once this process ends.
  ~ProcessReaper();
  ProcessReaper(const ProcessReaper&) = delete;
  ProcessReaper& operator=(const ProcessReaper&) = delete;

  /// Waits for `helper` (its pipes closed; ended, killed or to end by
  /// itself) until it has ended, and reaps it. Wakes a Reap in progress.
  void Add(HelperProcess helper);

  /// Waits up to `timeout_ms` (-1: as long as it takes) until one of the
  /// processes ends or one is added, then reaps every one that has ended.
  /// Returns how many are still waited for.
  std::size_t Reap(int timeout_ms);

 private:
  struct Waiting {
    HelperProcess helper;
    bool held = false;  // ended, and could not be reaped yet
  };

  // Reaps the processes that have ended; the pids and statuses of those
  // reaped go to `*reaped`. Returns how many are still waited for.
  std::size_t ReapEnded(std::vector<std::pair<pid_t, int>>* reaped);

  std::function<void(pid_t, int)> on_reaped_;
  std::mutex mutex_;
  std::vector<Waiting> waiting_;
  int wake_fd_;  // an eventfd: Add wakes a Reap that waits
};

}  // namespace zv
