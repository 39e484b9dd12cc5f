// SPDX-License-Identifier: MIT
// One walk in a process of its own (zvxpcd-walk), as the service watches
// it: the job handed over, every message checked as it arrives, and the
// process ended for certain.
//
// The walk's process decodes what the network sends and is not trusted:
// whatever it does (sends garbage, sends too much, never reads its job,
// closes its descriptor and lives on, leaves a descendant holding it, or
// never ends) the walk ends by its deadline, its process is killed and
// reaped, and the service goes on.
#pragma once

#include <optional>
#include <string>

#include "front/walk_launcher.h"
#include "report/walk_protocol.h"

namespace zv {

/// Time a walk's process gets beyond its time limit before it is killed.
inline constexpr int kWalkKillGraceSeconds = 2;

/// How one walk in its process went.
struct WalkRun {
  enum class Ending {
    kEnded,       // it sent its end: `report` holds its rows and result
    kTimedOut,    // it outlasted its time limit by kWalkKillGraceSeconds and was killed
    kBroken,      // it sent what the service refuses (`problem` says what) and was killed
    kDied,        // it ended, closed its report or never took its job, without an end (`problem` says how)
    kNotStarted,  // no process could be started (`problem` says why)
    kAbandoned,   // the service stops: it was killed
    kCancelled,   // a client cancelled it (walk_cancel.h): it was killed
  };
  Ending ending = Ending::kNotStarted;
  WalkReport report;
  std::string problem;
};

/// Runs `job` in a walk's process set up as `setup` says (walk_launcher.h),
/// passing each note it sends to the note sink (NoteWalk) on the calling
/// thread, in order, as it arrives. The job is written without blocking,
/// under the walk's deadline (its time limit and kWalkKillGraceSeconds).
/// Returns once the process has sent its end, broke a rule, ended, or its
/// deadline passed. A process that ended by itself has then been reaped;
/// any other one has been killed and is reaped aside once it has ended
/// (EndWalkProcessAside). After StopWalkProcesses every walk ends within
/// about 0.1 s as kAbandoned; a walk of the calling thread that a client
/// cancels (walk_cancel.h) ends as kCancelled as soon.
WalkRun RunWalkInItsProcess(const WalkJob& job, const WalkLibrarySetup& setup);

/// For a service that stops: every walk's process is killed (it writes
/// nothing, so it needs no time to stop), the one started ahead too, and
/// no new one is started. Safe to call from any thread.
void StopWalkProcesses();

}  // namespace zv
