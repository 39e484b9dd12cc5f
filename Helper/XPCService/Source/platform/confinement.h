// SPDX-License-Identifier: MIT
// The process-wide pieces of confining a process that handles input from
// the network: resource limits and no new privileges. The Landlock
// ruleset (landlock_rules.h) and the system call filter (syscall_filter.h)
// are the other two; what a given process may still do is its own plan's
// to say.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

/// Resource limits of a confined process; 0 leaves that limit as it is,
/// except `core_bytes`, which is always set (0: no core files).
struct ResourceLimits {
  uint64_t core_bytes = 0;
  uint64_t address_space_bytes = 0;
  uint64_t cpu_seconds = 0;   // the soft limit sends SIGXCPU, the hard one a second later kills
  uint64_t file_size_bytes = 0;
  uint64_t descriptors = 0;   // the lowest descriptor number that can no longer be made
};

/// Sets `limits` for the rest of the process's life (soft and hard alike).
/// False with a message naming the limit that could not be set.
bool SetResourceLimits(const ResourceLimits& limits, std::string* error);

/// PR_SET_NO_NEW_PRIVS: no exec of the process or its children can gain
/// privileges any more. Landlock and a seccomp filter need it first. False
/// with a message.
bool ForbidNewPrivileges(std::string* error);

/// PR_SET_DUMPABLE 0: no core file of the process, and no process of the
/// same user may trace it or read its memory (/proc/PID/mem), so what it
/// holds in memory stays its own. False with a message.
bool ForbidDumps(std::string* error);

/// The Landlock ABI version the kernel offers; 0 when it offers none (or
/// the system call is filtered out).
int LandlockAbi();

}  // namespace zv
