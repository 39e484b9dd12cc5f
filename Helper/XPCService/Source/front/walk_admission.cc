// SPDX-License-Identifier: MIT
#include "front/walk_admission.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

namespace zv {
namespace {

struct Admissions {
  std::mutex mutex;
  std::condition_variable changed;
  std::set<std::string> busy_lists;
  uint64_t next_ticket = 0;   // the ticket the next walk to queue draws
  uint64_t next_served = 0;   // the ticket whose turn it is
  int running = 0;
  int waiting = 0;
  bool stopping = false;
};

Admissions& State() {
  static Admissions admissions;
  return admissions;
}

}  // namespace

WalkAdmission::WalkAdmission(std::string list_path) : list_path_(std::move(list_path)) {
  Admissions& state = State();
  std::unique_lock<std::mutex> lock(state.mutex);
  ++state.waiting;
  // The list first, so that a walk waiting for its list holds no place.
  state.changed.wait(lock, [&] { return state.stopping || state.busy_lists.count(list_path_) == 0; });
  if (state.stopping) {
    --state.waiting;
    return;
  }
  state.busy_lists.insert(list_path_);
  holds_list_ = true;
  const uint64_t ticket = state.next_ticket++;
  state.changed.wait(lock, [&] {
    return state.stopping || (ticket == state.next_served && state.running < kMaxWalksAtOnce);
  });
  --state.waiting;
  if (state.stopping) return;
  ++state.next_served;
  ++state.running;
  admitted_ = true;
  state.changed.notify_all();
}

WalkAdmission::~WalkAdmission() {
  Admissions& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (admitted_) --state.running;
    if (holds_list_) state.busy_lists.erase(list_path_);
  }
  state.changed.notify_all();
}

WalkCounts CountWalks() {
  Admissions& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return {state.running, state.waiting};
}

void StopAdmittingWalks() {
  Admissions& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.stopping = true;
  }
  state.changed.notify_all();
}

}  // namespace zv
