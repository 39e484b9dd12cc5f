// SPDX-License-Identifier: MIT
// One walk in a process of its own (the program zvxpcd-walk): the service
// hands it the job and the process-wide walk state, passes each of its
// notes on to the service's own note sink as it arrives, and takes back its
// result and the state it changed. The process is ended for certain when
// the walk outlasts its time limit or the service stops.
//
// Starting a process and setting the SNMP library up in it takes several
// milliseconds, so the process of the next walk is started ahead, on a
// thread of its own, when a walk's process has ended (the first walk
// starts its own). It is used only when it was
// set up with the MIBS the walk needs and no Net-SNMP configuration file
// or MIB folder changed since it started; otherwise a fresh one is
// started, so that a change holds from the next walk on.
//
// Walks that overlap: each starts from the state the walks that ended
// before it began left behind, and what it changes is applied when it
// ends (see CarryWalkChanges); walks one after the other see each other's
// changes as if they ran in one process.
#pragma once

#include <string>

#include "walk/walk_job.h"
#include "walk/walk_process_state.h"

namespace zv {

/// Time a walk's process gets beyond its time limit before it is killed.
inline constexpr int kWalkKillGraceSeconds = 2;
/// Time a walk's process gets to end after SIGTERM before it is killed.
inline constexpr int kWalkStopGraceMs = 500;

/// Sets the program that runs walks and the process-wide walk state the
/// first walk starts from, and takes the process's environment for the
/// walks' processes. Call at start-up, before any request is served and
/// before any other thread runs.
void SetWalkProcessSetup(std::string program, const WalkProcessState& initial_state);

/// How one walk in its process went.
struct WalkProcessOutcome {
  /// The walk's result: its process's own, 1 when the process had to be
  /// ended at its deadline or ended without a result, kWalkAbandoned when
  /// the service stops.
  int result = 1;
  /// Empty when the process sent its result; otherwise how it ended, for
  /// the log ("was killed by signal 9 (Killed)", ...).
  std::string process_end;
};

/// Runs `job` in a new walk process, with the shared state filled in.
/// Its notes reach the note sink (NoteWalk) and the lines it logs the log
/// sink (LogWalkLine) on the calling thread, in order, as they arrive.
/// - The process sends its result: that result, and its changes to the
///   shared state are kept.
/// - It outlasts its time limit by kWalkKillGraceSeconds: it is killed,
///   the failed walk's merge runs in a fresh process, and the result is 1.
/// - It ends without a result (a signal, a crash, a broken message): the
///   result is 1, nothing is merged and no state is taken back.
/// - The service stops (StopWalkProcesses): SIGTERM, SIGKILL after
///   kWalkStopGraceMs; the result is kWalkAbandoned unless the process
///   finished its walk first.
WalkProcessOutcome RunWalkProcess(WalkJob job);

/// For a service that stops: every walk process is told to stop, the one
/// started ahead is ended, and no new one is started. Safe to call from
/// any thread.
void StopWalkProcesses();

}  // namespace zv
