// SPDX-License-Identifier: MIT
#include "walk/snmp_configuration.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace zv {
namespace {

// The files of the configuration types a walk reads.
constexpr const char* kConfigurationFiles[] = {"snmp.conf",    "snmp.local.conf",    "snmpapp.conf",
                                               "snmpapp.local.conf", "snmpwalk.conf", "snmpwalk.local.conf"};

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
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

std::vector<std::string> ConfigurationOnly() {
  std::vector<std::string> folders;
  const std::string configuration = Environment("SNMPCONFPATH");
  if (!configuration.empty()) {
    AddSearchPath(configuration, &folders);
    return folders;
  }
  folders = {"/etc/snmp", "/usr/share/snmp"};
  const std::string home = Environment("HOME");
  if (!home.empty()) folders.push_back(home + "/.snmp");
  return folders;
}

void AddMibFolders(std::vector<std::string>* folders) {
  const char* mib_folders = netsnmp_get_mib_directory();
  if (mib_folders != nullptr) AddSearchPath(mib_folders, folders);
}

void Later(const std::string& path, std::time_t* latest) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) *latest = std::max(*latest, status.st_mtime);
}

}  // namespace

std::vector<std::string> SnmpConfigurationFolders() {
  std::vector<std::string> folders = ConfigurationOnly();
  const std::string persistent = Environment("SNMP_PERSISTENT_DIR");
  folders.push_back(persistent.empty() ? "/var/lib/snmp" : persistent);
  AddMibFolders(&folders);
  return folders;
}

std::time_t LatestSnmpConfigurationChange() {
  std::time_t latest = 0;
  std::vector<std::string> folders = ConfigurationOnly();
  for (const std::string& folder : folders) {
    for (const char* file : kConfigurationFiles) Later(folder + "/" + file, &latest);
  }
  AddMibFolders(&folders);
  for (const std::string& folder : folders) Later(folder, &latest);
  return latest;
}

}  // namespace zv
