// SPDX-License-Identifier: MIT
// Starting the processes of walks (the program zvxpcd-walk), one ahead of
// the walk that will use it.
//
// Starting a process and setting the SNMP library up in it takes several
// milliseconds, so once a walk has ended the process of the next one is
// started ahead: it reads Net-SNMP's configuration and MIBs, then waits,
// idle, for its job. A walk takes it only when it still runs, was set up
// with the MIBS and MIB folders the walk needs, and nothing the library read has changed
// since (SnmpConfigurationFingerprint); otherwise a fresh one is started,
// so that a change holds from the next walk on.
//
// Every process is started by one thread of the launcher's own that lives
// as long as the service: a walk's process asks the kernel to kill it when
// the thread that started it ends (PR_SET_PDEATHSIG), so it must never be
// a thread that ends before the service does. Every process the service
// is done with is reaped by another thread of the launcher's own, once it
// has ended, however long that takes (EndWalkProcessAside).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/helper_process.h"

namespace zv {

/// Sets the program of the walks' processes and the environment they get
/// (the service's, MIBS and a walk's MIBDIRS aside), and starts the launcher's thread. Call at
/// start-up, before any request is served.
void StartWalkLauncher(std::string program, std::vector<std::string> environment);

/// How a walk's process sets the library up: MIBS (none: unset), and
/// MIBDIRS when the walk's own -M sets it (WalkMibDirectories; none: the
/// service's own).
struct WalkLibrarySetup {
  std::optional<std::string> mibs;
  std::optional<std::string> mib_directories;

  bool operator==(const WalkLibrarySetup&) const = default;
};

/// A walk's process set up as `setup` says: the one started ahead when it
/// suits, else a new one. False with a message when none can be started,
/// or once the launcher stops.
bool LaunchWalkProcess(const WalkLibrarySetup& setup, HelperProcess* process, std::string* error);

/// Starts the process of the next walk ahead, with `mibs`, unless one is
/// ready or on its way. Returns at once: the start happens on the
/// launcher's thread.
void PrepareNextWalkProcess(const std::optional<std::string>& mibs);

/// Ends the process started ahead and starts no more: a service that
/// stops. Safe to call from any thread.
void StopWalkLauncher();

/// True when `pid` is a process of a walk of this service (started ahead,
/// or running a walk and not yet reaped).
bool IsWalkProcess(pid_t pid);

/// Reaps a walk's process that has ended (ReapEndedHelper) and forgets
/// it: true with its wait status; false, with nothing changed, while it
/// runs or cannot be reaped yet.
bool ReapEndedWalkProcess(HelperProcess* process, int* status);

/// Kills a walk's process (SIGKILL), closes its pipes, and has it reaped,
/// on a thread of the launcher's own, once it has ended, however long that
/// takes; it counts as a walk's process (IsWalkProcess) until then.
/// Returns at once, so that no reply waits for a process's end.
void EndWalkProcessAside(HelperProcess process);

}  // namespace zv
