// SPDX-License-Identifier: MIT
// The walk's process-wide settings and state, as one value that travels
// between the service and the process of each walk.
//
// A walk runs in a process of its own, but some of what it changes holds
// for every later walk of the service: the three `-C` toggles, the
// variables-found counter and the MIBS list an `-m` sets. The service
// keeps them here, hands a copy to each walk's process and takes back what
// the walk changed. The settings of the service's command line travel the
// same way. Each member is listed once, in ForEachWalkStateField; adding
// one is a member and a line there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "walk/walk_driver.h"

namespace zv {

struct WalkProcessState {
  // Settings of the service (from its command line): never changed by a walk.
  int time_limit_seconds = kDefaultWalkTimeLimitSeconds;
  int64_t request_limit = kDefaultWalkRequestLimit;
  int32_t bulk_repetitions = 0;  // --bulk-repetitions: GETBULK for walks without -C r; 0: GETNEXT
  // State that walks change and later walks see. A toggle is true when the
  // setting is flipped from what the Net-SNMP configuration presets.
  bool include_requested_toggled = false;    // -Ci
  bool print_statistics_toggled = false;     // -Cp
  bool dont_check_ordering_toggled = false;  // -Cc
  int32_t variables_found = 0;               // never wraps (stops at INT32_MAX)
  std::optional<std::string> mibs;           // MIBS; none: unset
};

/// Calls `visit(field)` for every member of `state`, in one fixed order
/// (the order of the bytes that carry it).
template <typename State, typename Visit>
void ForEachWalkStateField(State& state, Visit&& visit) {
  visit(state.time_limit_seconds);
  visit(state.request_limit);
  visit(state.bulk_repetitions);
  visit(state.include_requested_toggled);
  visit(state.print_statistics_toggled);
  visit(state.dont_check_ordering_toggled);
  visit(state.variables_found);
  visit(state.mibs);
}

/// Applies what one walk changed to `*shared`: the walk began with `start`
/// and ended with `end`. Toggles flip where the walk flipped them, the
/// counter grows by what the walk counted (stopping at INT32_MAX), and
/// MIBS takes the walk's value when the walk changed it. So walks that run
/// one after the other see each other's changes exactly as if they ran in
/// one process, and a walk that overlaps another neither undoes nor
/// repeats the other's changes. Settings of the service are not touched.
void CarryWalkChanges(const WalkProcessState& start, const WalkProcessState& end, WalkProcessState* shared);

/// In the walk's own process: sets the walk time limit, the request limit,
/// the default bulk repetitions, the counter and MIBS (set or unset) from `state`. The library reads
/// MIBS when it is initialised: the service starts the process with the
/// same MIBS in its environment (WalkProcessEnvironment).
void ApplyWalkSettings(const WalkProcessState& state);

/// In the walk's own process, after the library is initialised (so that
/// the configuration's presets are read first): flips the `-C` settings
/// that `state` says are toggled.
void ApplyWalkToggles(const WalkProcessState& state);

/// The three `-C` settings' values in this process.
struct WalkSettingValues {
  bool include_requested = false;
  bool print_statistics = false;
  bool dont_check_ordering = false;
};

/// The settings' current values.
WalkSettingValues CurrentWalkSettingValues();

/// The environment of a walk's process that will run walks with `mibs`:
/// `environment` ("NAME=VALUE" entries) with MIBS set to `mibs`, or
/// without MIBS when `mibs` is none.
std::vector<std::string> WalkProcessEnvironment(const std::vector<std::string>& environment,
                                                const std::optional<std::string>& mibs);

/// In the walk's own process, at the end of the walk: `start` (as handed
/// over) with the toggles, counter and MIBS as they are now. `presets`
/// holds the values the settings had before ApplyWalkToggles, from
/// CurrentWalkSettingValues.
WalkProcessState CaptureWalkState(const WalkProcessState& start, const WalkSettingValues& presets);


}  // namespace zv
