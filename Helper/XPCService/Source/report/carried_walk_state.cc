// SPDX-License-Identifier: MIT
#include "report/carried_walk_state.h"

namespace zv {

void CarryToggleChanges(const WalkToggles& start, const WalkToggles& end, WalkToggles* shared) {
  shared->include_requested ^= start.include_requested != end.include_requested;
  shared->print_statistics ^= start.print_statistics != end.print_statistics;
  shared->dont_check_ordering ^= start.dont_check_ordering != end.dont_check_ordering;
}

void CarryVariablesFound(int32_t start, int32_t end, int32_t* shared) {
  if (end <= start) return;
  const int64_t sum = int64_t{*shared} + end - start;
  *shared = static_cast<int32_t>(sum < INT32_MAX ? sum : INT32_MAX);
}

}  // namespace zv
