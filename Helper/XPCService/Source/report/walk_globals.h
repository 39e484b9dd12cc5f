// SPDX-License-Identifier: MIT
// The process-wide state of the device profile walk, all in one place.
//
// The service runs each walk in a process of its own (zvxpcd-walk) and
// hands it the state that outlives a walk (carried_walk_state.h); what the
// walk keeps while it runs lives here and in the Net-SNMP library (see
// snmp_library.h and walk_settings.h); everything else is local to one
// call. None of it is locked: a process runs one walk, on one thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "report/walk_limits.h"
#include "store/zvplist.h"

/// Size of the walk's diagnostic buffer `sDEBUGmsg`, terminator included.
constexpr std::size_t kDebugMessageSize = 128;

/// The spool list: the rows of the device's profile table, placed by row
/// number (row k in slot k - 1), `iNum` counting the index-column values
/// received (at most 500). Cleared at the start of the walk, filled by
/// vSpoolPlist during it, and reported to the service after it
/// (EncodeWalkOutcome), which merges it.
extern ProfileList PlistForSpool;

/// Variables found: every variable that a walk counted inside its subtree,
/// and every variable that a GET printed, starting from the count the
/// service handed over. Never reset; stops at INT32_MAX instead of
/// wrapping, so that it never falls back to 0.
extern int32_t numprinted;

/// The walk driver's and the option handler's last diagnostic, cut to 127
/// characters and a terminating zero. Kept for a debugger; nothing reads it.
extern char sDEBUGmsg[kDebugMessageSize];

namespace zv {

/// The walk's time: how long every walk may last, and when the walk that
/// runs must end. The limit is set before walks (SetWalkTimeLimit, from the
/// service's settings in the walk's process); the deadline when each walk
/// starts (StartWalkDeadline), then read by its waits. Only AbandonWalks
/// reaches the walk from outside, and it touches none of this.
struct WalkClock {
  std::chrono::seconds limit{kDefaultWalkTimeLimitSeconds};
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

extern WalkClock walk_clock;

}  // namespace zv
