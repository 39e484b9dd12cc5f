// SPDX-License-Identifier: MIT
// What the service keeps from walk to walk: the process-wide walk state
// (the `-C` toggles, the variables-found counter, the settings of its
// command line), MIBS, and the printers known to leave GETBULK
// unanswered. The service owns it: MIBS comes from the requests' own `-m`
// as the service reads them, and from a walk's process it takes only the
// toggles and the counter, each checked before (walk_protocol.h).
#pragma once

#include <optional>
#include <string>

#include "walk/walk_process_state.h"

namespace zv {

/// Sets what the first walk starts from. Call at start-up.
void SetSharedWalkState(const WalkProcessState& state, std::optional<std::string> mibs);

/// What one walk starts from.
struct WalkStart {
  WalkProcessState state;
  std::optional<std::string> mibs;  // the MIBS of its process
  bool mibs_on_trial = false;       // `mibs` came from an -m and has not loaded in a walk yet
  bool device_deaf_to_bulk = false;
};

/// The start of a walk of the printer at `address` (as its arguments give
/// it; none: the arguments name none). When the walk's own arguments give
/// `-m` (`new_mibs`), it holds from the next walk on: this walk still
/// starts with MIBS as it was. A new MIBS is on trial until a walk that
/// started with it ends (SettleMibs): the walks that start meanwhile get it.
WalkStart BeginSharedWalk(const std::optional<std::string>& address, const std::optional<std::string>& new_mibs);

/// A walk that started with the MIBS on trial `tried` has ended: `loaded`
/// keeps it for the walks after it, else MIBS goes back to what it was
/// before. Does nothing once another walk settled it, or another -m
/// replaced it.
void SettleMibs(const std::string& tried, bool loaded);

/// The toggles a walk flipped (it began with `start`, its arguments left
/// `end`), applied to the shared state.
void TakeWalkToggles(const WalkToggles& start, const WalkToggles& end);

/// What a walk counted (from `start` to `end`), added to the shared counter.
void TakeVariablesFound(int32_t start, int32_t end);

/// Remembers, for the service's lifetime, that the printer at `address`
/// left a walk's GETBULK unanswered: its later walks go by GETNEXT at once.
void RememberDeafToBulk(const std::string& address);

/// MIBS as the next walk's process gets it (the one on trial, if any).
std::optional<std::string> SharedMibs();

/// The walk state as it is now.
WalkProcessState SharedWalkSettings();

}  // namespace zv
