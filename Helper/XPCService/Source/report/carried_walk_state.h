// SPDX-License-Identifier: MIT
// The walk's process-wide settings and state, as one value that travels
// from the service to the process of each walk.
//
// A walk runs in a process of its own, but some of what it changes holds
// for every later walk of the service: the three `-C` toggles and the
// variables-found counter. The service keeps them here, hands a copy to
// each walk's process with its job, and takes back what the walk changed
// (the toggles as soon as the walk's arguments are parsed, the counter
// when it ends). The settings of the service's command line travel the
// same way. MIBS is the service's alone: it takes it from the requests'
// own `-m`, and starts each walk's process with it in its environment.
// Each member is listed once, in ForEachWalkStateField.
#pragma once

#include <cstdint>

#include "report/walk_limits.h"

namespace zv {

/// The three `-C` settings, each true when it is flipped from what the
/// Net-SNMP configuration presets.
struct WalkToggles {
  bool include_requested = false;    // -Ci
  bool print_statistics = false;     // -Cp
  bool dont_check_ordering = false;  // -Cc
  bool operator==(const WalkToggles&) const = default;
};

struct WalkProcessState {
  // Settings of the service (from its command line): never changed by a walk.
  int32_t time_limit_seconds = kDefaultWalkTimeLimitSeconds;
  int64_t request_limit = kDefaultWalkRequestLimit;
  // --bulk-repetitions: GETBULK for walks without -C r, sized to the
  // device's answers (kAutoBulkRepetitions) or fixed (1 to 100); 0: GETNEXT.
  int32_t bulk_repetitions = kAutoBulkRepetitions;
  // State that walks change and later walks see.
  WalkToggles toggled;
  int32_t variables_found = 0;  // never wraps (stops at INT32_MAX)
};

/// Calls `visit(toggle)` for each of the three toggles, in one fixed order
/// (the order of the bytes that carry them).
template <typename Toggles, typename Visit>
void ForEachToggle(Toggles& toggles, Visit&& visit) {
  visit(toggles.include_requested);
  visit(toggles.print_statistics);
  visit(toggles.dont_check_ordering);
}

/// Calls `visit(field)` for every member of `state`, in one fixed order
/// (the order of the bytes that carry it).
template <typename State, typename Visit>
void ForEachWalkStateField(State& state, Visit&& visit) {
  visit(state.time_limit_seconds);
  visit(state.request_limit);
  visit(state.bulk_repetitions);
  ForEachToggle(state.toggled, visit);
  visit(state.variables_found);
}

/// Applies the toggles one walk flipped to `*shared`: the walk began with
/// `start` and its arguments left `end`. A toggle flips where the walk
/// flipped it, so walks that run one after the other see each other's
/// changes exactly as if they ran in one process, and a walk that overlaps
/// another neither undoes nor repeats the other's changes.
void CarryToggleChanges(const WalkToggles& start, const WalkToggles& end, WalkToggles* shared);

/// Adds what one walk counted (it began at `start` and ended at `end`) to
/// `*shared`, stopping at INT32_MAX. A count below `start` adds nothing.
void CarryVariablesFound(int32_t start, int32_t end, int32_t* shared);

}  // namespace zv
