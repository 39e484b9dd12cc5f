// SPDX-License-Identifier: MIT
// A system call filter (libseccomp), built rule by rule before it is
// loaded: calls not named fail with EPERM.
#pragma once

#include <seccomp.h>

#include <initializer_list>
#include <string>

namespace zv {

class SyscallFilter {
 public:
  SyscallFilter();
  ~SyscallFilter();
  SyscallFilter(const SyscallFilter&) = delete;
  SyscallFilter& operator=(const SyscallFilter&) = delete;

  /// Lets `call` through when all of `conditions` hold (none: always). A
  /// call this architecture does not have needs no rule. False with a
  /// message.
  bool Allow(int call, std::initializer_list<scmp_arg_cmp> conditions, std::string* error);
  /// Makes `call` end the process at once.
  bool KillOn(int call, std::string* error);
  /// Loads the filter into the calling process (needs PR_SET_NO_NEW_PRIVS
  /// first). libseccomp's own setting of that flag is turned off: the
  /// process says it itself. False with a message.
  bool Load(std::string* error);

 private:
  bool Add(uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions, std::string* error);

  scmp_filter_ctx context_;
};

}  // namespace zv
