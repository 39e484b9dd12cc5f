// SPDX-License-Identifier: MIT
// What the service keeps from walk to walk: the process-wide walk state
// (the `-C` toggles, the variables-found counter, the settings of its
// command line), MIBS, and what it learnt of each printer's GETBULK. The
// service owns it: MIBS comes from the requests' own `-m` as the service
// reads them, and from a walk's process it takes only the toggles, the
// counter and what the walk's GETBULK requests met, each checked before
// (walk_protocol.h).
//
// Printers are told apart by PrinterKey (the resolved transport address),
// and at most kMaxKnownPrinters are known at once (past it, the memory
// starts afresh). Of each it keeps:
//   - how many walks in a row left their first GETBULK unanswered and had
//     GETNEXT answered: from the second on, the printer is deaf to GETBULK
//     for kDeafToGetBulkFor, and its walks go by GETNEXT; then GETBULK is
//     tried again. A walk whose GETBULK is answered clears it;
//   - the most repetitions that came back whole in its last walk that had
//     a GETBULK answered: its next walk starts there.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "report/carried_walk_state.h"
#include "report/walk_protocol.h"

namespace zv {

/// Sets what the first walk starts from. Call at start-up.
void SetSharedWalkState(const WalkProcessState& state, std::optional<std::string> mibs);

/// What one walk starts from.
struct WalkStart {
  WalkProcessState state;
  std::optional<std::string> mibs;  // the MIBS of its process
  bool mibs_on_trial = false;       // `mibs` came from an -m and has not loaded in a walk yet
  bool device_deaf_to_bulk = false;
  int32_t start_repetitions = 0;    // the most that came back whole in the printer's last walk; 0: unknown
};

/// Printers known at once.
inline constexpr std::size_t kMaxKnownPrinters = 1024;

/// The start of a walk of the printer `printer` (its PrinterKey; none: the
/// arguments name none). When the walk's own arguments give
/// `-m` (`new_mibs`), it holds from the next walk on: this walk still
/// starts with MIBS as it was. A new MIBS is on trial until a walk that
/// started with it ends (SettleMibs): the walks that start meanwhile get it.
WalkStart BeginSharedWalk(const std::optional<std::string>& printer, const std::optional<std::string>& new_mibs);

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

/// Takes what the GETBULK requests of a walk of `printer` met, from the
/// walk's end (deaf_to_bulk, bulk_answered, whole_repetitions).
void TakePrinterWalk(const std::string& printer, const WalkEnd& end);

/// The clock of the printers' deafness (steady_clock::now unless a test
/// sets another; null puts it back).
using SharedWalkClock = std::chrono::steady_clock::time_point (*)();
void SetSharedWalkClock(SharedWalkClock now);

/// MIBS as the next walk's process gets it (the one on trial, if any).
std::optional<std::string> SharedMibs();

/// The walk state as it is now.
WalkProcessState SharedWalkSettings();

}  // namespace zv
