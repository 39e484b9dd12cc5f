// SPDX-License-Identifier: MIT
// Which walks run now. Walks of different profile lists run side by side,
// at most kMaxWalksAtOnce at once; more wait and start in the order they
// arrived. Two walks of the same list never run at once: the second waits
// for the first, whatever it does to the file (the lock is the service's,
// held by the list's path, so the atomic replacement of the file cannot
// lose it).
#pragma once

#include <string>

namespace zv {

/// Walks that run at the same time. A walk's process holds about 10 MB
/// resident, 2.6 MB of it its own (the rest the shared libraries); a walk
/// that waits on a silent printer costs that and nothing else. Sixteen of
/// them stay within the service's memory budget (256 MB in all, with the
/// 64 MiB of requests), and let a live printer's walk beside a dozen
/// silent ones start at once.
inline constexpr int kMaxWalksAtOnce = 16;

/// One walk's place, held for as long as the object lives.
class WalkAdmission {
 public:
  /// Waits until no other walk holds `list_path` (a lock name), then for one of the
  /// kMaxWalksAtOnce places, in arrival order. Returns at once, not
  /// admitted, once StopAdmittingWalks has been called.
  explicit WalkAdmission(std::string list_path);
  ~WalkAdmission();
  WalkAdmission(const WalkAdmission&) = delete;
  WalkAdmission& operator=(const WalkAdmission&) = delete;

  /// True when the walk may run.
  bool admitted() const { return admitted_; }

 private:
  std::string list_path_;
  bool holds_list_ = false;
  bool admitted_ = false;
};

/// For a service that stops: every walk waiting for its place returns not
/// admitted, and so does every later one.
void StopAdmittingWalks();

/// Walks that hold a place now, and walks waiting for their list or for a
/// place.
struct WalkCounts {
  int running = 0;
  int waiting = 0;
};
WalkCounts CountWalks();

}  // namespace zv
