// SPDX-License-Identifier: MIT
// The system call filter part of the confinement (confinement.h).
#pragma once

#include <string>

namespace zv {

/// Loads the filter that ConfineProcess describes into the calling
/// process (libseccomp). Needs PR_SET_NO_NEW_PRIVS first. False with a
/// message when it cannot be built or loaded.
bool LoadWalkSyscallFilter(std::string* error);

}  // namespace zv
