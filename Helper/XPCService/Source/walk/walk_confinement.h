// SPDX-License-Identifier: MIT
// What the process of one walk may still do once it is confined, before it
// sends or reads anything on the network.
#pragma once

#include "platform/confinement.h"
#include "walk/walk_job.h"

namespace zv {

/// Address space of a walk's process (not limited in sanitizer builds,
/// whose shadow memory needs far more).
inline constexpr uint64_t kWalkAddressSpaceBytes = uint64_t{1} << 30;
/// CPU seconds a walk's process may use beyond its time limit (its merge).
inline constexpr uint64_t kWalkCpuMarginSeconds = 10;

/// What every walk's process may read, known before its job comes (after
/// the Net-SNMP library has been initialised, when its MIB folders are
/// known): Net-SNMP's configuration folders ($SNMPCONFPATH, else
/// /etc/snmp, /usr/share/snmp and ~/.snmp), its persistent folder and MIB
/// folders, and what name resolution and the C library read (/etc/hosts,
/// /etc/resolv.conf and their like, /usr/lib, /run/systemd/resolve).
std::vector<std::string> WalkReadablePaths();

/// The rest of the plan for the process of `job` (its readable paths are
/// WalkReadablePaths):
/// - write: the folder of the job's profile list, and the folder of the
///   file at the end of its link chain when that is another one;
/// - limits: address space, CPU (the time limit and a margin), file size
///   at the largest profile list a reader takes (64 MiB).
ConfinementPlan WalkConfinementPlan(const WalkJob& job);

}  // namespace zv
