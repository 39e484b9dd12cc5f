// SPDX-License-Identifier: MIT
#include "platform/confinement.h"

#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_io.h"

namespace zv {
namespace {

bool Limit(int resource, uint64_t soft, uint64_t hard, const char* name, std::string* error) {
  const rlimit limit{static_cast<rlim_t>(soft), static_cast<rlim_t>(hard)};
  if (::setrlimit(resource, &limit) == 0) return true;
  *error = ErrnoText(std::string("setrlimit ") + name, errno);
  return false;
}

bool LimitIfSet(int resource, uint64_t value, const char* name, std::string* error) {
  return value == 0 || Limit(resource, value, value, name, error);
}

}  // namespace

bool SetResourceLimits(const ResourceLimits& limits, std::string* error) {
  return Limit(RLIMIT_CORE, limits.core_bytes, limits.core_bytes, "RLIMIT_CORE", error) &&
         LimitIfSet(RLIMIT_AS, limits.address_space_bytes, "RLIMIT_AS", error) &&
         LimitIfSet(RLIMIT_FSIZE, limits.file_size_bytes, "RLIMIT_FSIZE", error) &&
         LimitIfSet(RLIMIT_NOFILE, limits.descriptors, "RLIMIT_NOFILE", error) &&
         (limits.cpu_seconds == 0 ||
          Limit(RLIMIT_CPU, limits.cpu_seconds, limits.cpu_seconds + 1, "RLIMIT_CPU", error));
}

bool ForbidNewPrivileges(std::string* error) {
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0) return true;
  *error = ErrnoText("prctl PR_SET_NO_NEW_PRIVS", errno);
  return false;
}

bool ForbidDumps(std::string* error) {
  if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0) return true;
  *error = ErrnoText("prctl PR_SET_DUMPABLE", errno);
  return false;
}

int LandlockAbi() {
  const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return abi > 0 ? static_cast<int>(abi) : 0;
}

}  // namespace zv
