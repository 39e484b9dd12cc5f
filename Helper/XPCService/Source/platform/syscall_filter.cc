// SPDX-License-Identifier: MIT
#include "platform/syscall_filter.h"

#include <cerrno>

#include "platform/posix_io.h"

namespace zv {
namespace {

std::string Failure(const char* step, int status) { return ErrnoText(step, -status); }

}  // namespace

SyscallFilter::SyscallFilter() : context_(seccomp_init(SCMP_ACT_ERRNO(EPERM))) {
  // Without this, loading the filter would set no_new_privs by itself, and
  // a process that forgot to say it would never know.
  if (context_ != nullptr) seccomp_attr_set(context_, SCMP_FLTATR_CTL_NNP, 0);
}

SyscallFilter::~SyscallFilter() {
  if (context_ != nullptr) seccomp_release(context_);
}

bool SyscallFilter::Add(uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions,
                        std::string* error) {
  if (context_ == nullptr) {
    *error = "seccomp_init failed";
    return false;
  }
  const int status =
      seccomp_rule_add_array(context_, action, call, static_cast<unsigned>(conditions.size()), conditions.begin());
  if (status == 0 || status == -EDOM) return true;
  *error = Failure("seccomp_rule_add", status);
  return false;
}

bool SyscallFilter::Allow(int call, std::initializer_list<scmp_arg_cmp> conditions, std::string* error) {
  return Add(SCMP_ACT_ALLOW, call, conditions, error);
}

bool SyscallFilter::KillOn(int call, std::string* error) { return Add(SCMP_ACT_KILL_PROCESS, call, {}, error); }

bool SyscallFilter::Load(std::string* error) {
  if (context_ == nullptr) {
    *error = "seccomp_init failed";
    return false;
  }
  const int status = seccomp_load(context_);
  if (status == 0) return true;
  *error = Failure("seccomp_load", status);
  return false;
}

}  // namespace zv
