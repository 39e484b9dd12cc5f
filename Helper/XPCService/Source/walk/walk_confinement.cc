// SPDX-License-Identifier: MIT
#include "walk/walk_confinement.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <climits>
#include <cstdlib>
#include <string_view>

#include "platform/whole_file.h"

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

void AddSearchPath(std::string_view list, std::vector<std::string>* paths) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    std::string_view entry = list.substr(0, colon);
    if (!entry.empty() && (entry.front() == '+' || entry.front() == '-')) entry.remove_prefix(1);
    if (!entry.empty()) paths->emplace_back(entry);
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void AddSnmpPaths(std::vector<std::string>* paths) {
  const std::string configuration = Environment("SNMPCONFPATH");
  if (!configuration.empty()) {
    AddSearchPath(configuration, paths);
  } else {
    paths->insert(paths->end(), {"/etc/snmp", "/usr/share/snmp"});
    const std::string home = Environment("HOME");
    if (!home.empty()) paths->push_back(home + "/.snmp");
  }
  const std::string persistent = Environment("SNMP_PERSISTENT_DIR");
  paths->push_back(persistent.empty() ? "/var/lib/snmp" : persistent);
  const char* mib_folders = netsnmp_get_mib_directory();
  if (mib_folders != nullptr) AddSearchPath(mib_folders, paths);
}

}  // namespace

ConfinementPlan WalkConfinementPlan(const WalkJob& job) {
  ConfinementPlan plan;
  plan.writable_folders.push_back(FolderOf(job.current_path));
  char resolved[PATH_MAX];
  if (::realpath(job.current_path.c_str(), resolved) != nullptr) {
    const std::string folder = FolderOf(resolved);
    if (folder != plan.writable_folders.front()) plan.writable_folders.push_back(folder);
  }
  AddSnmpPaths(&plan.readable_paths);
  plan.readable_paths.insert(plan.readable_paths.end(), std::begin(kResolutionPaths), std::end(kResolutionPaths));
#if !defined(__SANITIZE_ADDRESS__)
  plan.address_space_bytes = kWalkAddressSpaceBytes;
#endif
  plan.cpu_seconds = static_cast<uint64_t>(job.state.time_limit_seconds) + kWalkCpuMarginSeconds;
  plan.file_size_bytes = kMaxWholeFileBytes;
  return plan;
}

}  // namespace zv
