// SPDX-License-Identifier: MIT
// The process-wide state of the device profile walk, all in one place.
//
// A walk runs many times in one long-lived process. What it keeps between
// walks lives here and in the Net-SNMP library (see snmp_library.h and
// walk_settings.h); everything else is local to one call.
//
// None of it is locked: walks never overlap within a process (the service
// runs each walk in a process of its own, zvxpcd-walk, and hands the state
// that outlives a walk from one to the next: walk_process_state.h), and
// nothing but the walk and its merge touches this state.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "store/zvplist.h"
#include "walk/walk_limits.h"

/// Size of the walk's diagnostic buffer `sDEBUGmsg`, terminator included.
constexpr std::size_t kDebugMessageSize = 128;

/// The spool list: the rows of the device's profile table, placed by row
/// number (row k in slot k - 1), `iNum` counting the index-column values
/// received (at most 500). All zero at process start; cleared at the start
/// of every walk, filled by vSpoolPlist during the walk, read by the merge
/// after it, then left until the next walk clears it.
extern ProfileList PlistForSpool;

/// Variables found: every variable that a walk counted inside its subtree,
/// and every variable that a GET printed, since the process started. Never
/// reset; stops at INT32_MAX instead of wrapping, so that a long-lived
/// process never sees it fall back to 0.
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
