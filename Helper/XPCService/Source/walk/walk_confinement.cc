// SPDX-License-Identifier: MIT
#include "walk/walk_confinement.h"

#include <climits>
#include <cstdlib>

#include "platform/whole_file.h"
#include "walk/snmp_configuration.h"

// Sanitizer builds reserve far more address space than any limit a walk
// would be given (GCC says so with __SANITIZE_ADDRESS__, clang with
// __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define ZV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_ADDRESS_SANITIZER 1
#endif
#endif

namespace zv {
namespace {

// Files of the C library's name resolution and dynamic loader.
constexpr const char* kResolutionPaths[] = {
    "/etc/hosts",     "/etc/resolv.conf", "/etc/nsswitch.conf", "/etc/host.conf", "/etc/gai.conf",
    "/etc/services",  "/etc/protocols",   "/etc/ld.so.cache",   "/usr/lib",       "/run/systemd/resolve",
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::vector<std::string> WalkReadablePaths() {
  std::vector<std::string> paths = SnmpConfigurationFolders();
  paths.insert(paths.end(), std::begin(kResolutionPaths), std::end(kResolutionPaths));
  return paths;
}

ConfinementPlan WalkConfinementPlan(const WalkJob& job) {
  ConfinementPlan plan;
  plan.writable_folders.push_back(FolderOf(job.current_path));
  char resolved[PATH_MAX];
  if (::realpath(job.current_path.c_str(), resolved) != nullptr) {
    const std::string folder = FolderOf(resolved);
    if (folder != plan.writable_folders.front()) plan.writable_folders.push_back(folder);
  }
  plan.readable_paths = WalkReadablePaths();
#if !defined(ZV_ADDRESS_SANITIZER)
  plan.address_space_bytes = kWalkAddressSpaceBytes;
#endif
  plan.cpu_seconds = static_cast<uint64_t>(job.state.time_limit_seconds) + kWalkCpuMarginSeconds;
  plan.file_size_bytes = kMaxWholeFileBytes;
  return plan;
}

}  // namespace zv
