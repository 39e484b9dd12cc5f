// SPDX-License-Identifier: MIT
// The Landlock part of the confinement (confinement.h).
#pragma once

#include <string>
#include <vector>

namespace zv {

/// Restricts the calling process's file access to reading `readable`
/// paths and reading and changing regular files in `writable` folders,
/// with the newest access rights this build knows that the kernel offers
/// at `abi` (at least 1). Needs PR_SET_NO_NEW_PRIVS first. Missing paths
/// are left out. False with a message when a step fails.
bool RestrictFileAccess(int abi, const std::vector<std::string>& writable, const std::vector<std::string>& readable,
                        std::string* error);

}  // namespace zv
