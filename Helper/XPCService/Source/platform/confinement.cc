// SPDX-License-Identifier: MIT
#include "platform/confinement.h"

#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/landlock_rules.h"
#include "platform/posix_io.h"
#include "platform/syscall_filter.h"

namespace zv {
namespace {

bool Limit(int resource, uint64_t value, const char* name, std::string* error) {
  if (value == 0 && resource != RLIMIT_CORE) return true;
  const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
  if (::setrlimit(resource, &limit) == 0) return true;
  *error = ErrnoText(std::string("setrlimit ") + name, errno);
  return false;
}

// The CPU limit's soft value sends SIGXCPU; one second later the hard
// value kills.
bool LimitCpu(uint64_t seconds, std::string* error) {
  if (seconds == 0) return true;
  const rlimit limit{static_cast<rlim_t>(seconds), static_cast<rlim_t>(seconds + 1)};
  if (::setrlimit(RLIMIT_CPU, &limit) == 0) return true;
  *error = ErrnoText("setrlimit RLIMIT_CPU", errno);
  return false;
}

bool SetLimits(const ConfinementPlan& plan, std::string* error) {
  return Limit(RLIMIT_CORE, 0, "RLIMIT_CORE", error) &&
         Limit(RLIMIT_AS, plan.address_space_bytes, "RLIMIT_AS", error) &&
         Limit(RLIMIT_FSIZE, plan.file_size_bytes, "RLIMIT_FSIZE", error) && LimitCpu(plan.cpu_seconds, error);
}

}  // namespace

int LandlockAbi() {
  const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return abi > 0 ? static_cast<int>(abi) : 0;
}

struct ProcessConfinement::Parts {
  WalkSyscallFilter filter;
  LandlockRuleset ruleset;
  bool landlock = false;
};

ProcessConfinement::ProcessConfinement() : parts_(new Parts) {}

ProcessConfinement::~ProcessConfinement() { delete parts_; }

bool ProcessConfinement::Prepare(const std::vector<std::string>& readable_paths, std::string* error) {
  if (!parts_->filter.Build(error)) return false;
  const int abi = LandlockAbi();
  if (abi == 0) return true;
  parts_->landlock = true;
  return parts_->ruleset.Create(abi, error) && parts_->ruleset.AllowReading(readable_paths, error);
}

bool ProcessConfinement::Apply(const ConfinementPlan& plan, bool* landlock_applied, std::string* error) {
  *landlock_applied = false;
  if (!SetLimits(plan, error)) return false;
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    *error = ErrnoText("prctl PR_SET_NO_NEW_PRIVS", errno);
    return false;
  }
  if (parts_->landlock) {
    if (!parts_->ruleset.AllowWriting(plan.writable_folders, error) || !parts_->ruleset.Enforce(error)) {
      return false;
    }
    *landlock_applied = true;
  }
  return parts_->filter.Load(error);
}

bool ConfineProcess(const ConfinementPlan& plan, bool* landlock_applied, std::string* error) {
  ProcessConfinement confinement;
  return confinement.Prepare(plan.readable_paths, error) && confinement.Apply(plan, landlock_applied, error);
}

}  // namespace zv
