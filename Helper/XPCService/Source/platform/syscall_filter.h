// SPDX-License-Identifier: MIT
// The system call filter part of the confinement (confinement.h).
#pragma once

#include <string>

namespace zv {

/// The filter that ConfineProcess describes (libseccomp), built before it
/// is loaded.
class WalkSyscallFilter {
 public:
  WalkSyscallFilter();
  ~WalkSyscallFilter();
  WalkSyscallFilter(const WalkSyscallFilter&) = delete;
  WalkSyscallFilter& operator=(const WalkSyscallFilter&) = delete;

  /// Adds the rules. False with a message at the first that fails.
  bool Build(std::string* error);

  /// Loads the filter into the calling process (needs
  /// PR_SET_NO_NEW_PRIVS first). False with a message.
  bool Load(std::string* error);

 private:
  void* context_;
};

}  // namespace zv
