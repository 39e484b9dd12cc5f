// SPDX-License-Identifier: MIT
// What a process of the test's own holds in memory, read as root through
// /proc/PID/mem: where tests look for secrets that must be gone.
#pragma once

#include <sys/types.h>

#include <string>

namespace zvtest {

/// Appends every readable private mapping of process `pid` (heap, stacks,
/// data) to `*memory`, one range after another; what cannot be read is left
/// out. Mappings larger than 1 GiB are skipped: such mappings are a
/// sanitizer's shadow or reserved address space, never where a program's
/// own buffers lie. False, with errno set, when /proc/PID/mem cannot be
/// opened (another user's process, without root).
bool ReadPrivateMemory(pid_t pid, std::string* memory);

}  // namespace zvtest
