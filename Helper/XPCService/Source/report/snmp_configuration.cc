// SPDX-License-Identifier: MIT
#include "report/snmp_configuration.h"

#include <net-snmp/net-snmp-config.h>
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "platform/file_paths.h"
#include "platform/posix_io.h"
#include "platform/whole_file.h"
#include "report/walk_options.h"

namespace zv {
namespace {

// The configuration types a walk's process reads files of: the library's
// own, the application's, and the walk settings' (walk_settings.h).
constexpr const char* kConfigurationTypes[] = {"snmp", "snmpapp", "snmpwalk"};
// How deep included files are followed.
constexpr int kMaxIncludeDepth = 8;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// "$HOME" in a compiled-in default, as the library expands it.
std::string WithHome(std::string_view entry) {
  constexpr std::string_view kHome = "$HOME";
  if (entry.substr(0, kHome.size()) != kHome) return std::string(entry);
  return Environment("HOME") + std::string(entry.substr(kHome.size()));
}

void AddSearchPath(std::string_view list, std::vector<std::string>* paths) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    std::string_view entry = list.substr(0, colon);
    if (!entry.empty() && (entry.front() == '+' || entry.front() == '-')) entry.remove_prefix(1);
    if (!entry.empty()) paths->push_back(WithHome(entry));
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
}

std::vector<std::string> ConfigurationFiles(const std::vector<std::string>& folders) {
  std::vector<std::string> files;
  for (const std::string& folder : folders) {
    for (const char* type : kConfigurationTypes) {
      files.push_back(folder + "/" + type + ".conf");
      files.push_back(folder + "/" + type + ".local.conf");
    }
  }
  return files;
}

// The value of `line` when it is the directive `token` (any case), else empty.
std::string_view DirectiveValue(std::string_view line, std::string_view token) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  line.remove_prefix(start);
  if (line.size() <= token.size() || !std::equal(token.begin(), token.end(), line.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
      })) {
    return {};
  }
  line.remove_prefix(token.size());
  if (line.front() != ' ' && line.front() != '\t') return {};
  const std::size_t value = line.find_first_not_of(" \t");
  if (value == std::string_view::npos) return {};
  line.remove_prefix(value);
  const std::size_t end = line.find_last_not_of(" \t\r");
  return line.substr(0, end + 1);
}

// The MIB path as the `mibdirs` lines of the library's own configuration
// files (snmp.conf and snmp.local.conf of each configuration folder, in the
// order the library reads them) leave it: each line replaces the path, or
// with a leading '+' adds to it, starting from the compiled-in default.
std::string ConfiguredMibDirectories() {
  std::string directories = NETSNMP_DEFAULT_MIBDIRS;
  for (const std::string& folder : SnmpConfigurationSearchPath()) {
    for (const char* name : {"/snmp.conf", "/snmp.local.conf"}) {
      std::string text;
      std::string error;
      if (!ReadWholeFile(folder + name, &text, &error)) continue;
      std::string_view rest = text;
      while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view value = DirectiveValue(rest.substr(0, end), "mibdirs");
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (value.empty()) continue;
        directories = value.front() == '+' ? directories + ":" + std::string(value.substr(1)) : std::string(value);
      }
    }
  }
  return directories;
}

// The MIB folders: `mib_directories` when given (a walk's -M, made whole
// by WalkMibDirectories), else $MIBDIRS when it is set (extending the
// default when it begins with '+'), which the library prefers to any
// configuration, else as the configuration's `mibdirs` lines leave them.
std::vector<std::string> MibFolders(const std::optional<std::string>& mib_directories = std::nullopt) {
  std::vector<std::string> folders;
  if (mib_directories) {
    AddSearchPath(*mib_directories, &folders);
    return folders;
  }
  const char* environment = std::getenv("MIBDIRS");
  if (environment == nullptr) {
    AddSearchPath(ConfiguredMibDirectories(), &folders);
    return folders;
  }
  const std::string configured = environment;
  if (configured.empty() || configured.front() == '+') AddSearchPath(NETSNMP_DEFAULT_MIBDIRS, &folders);
  AddSearchPath(configured, &folders);
  return folders;
}

struct IncludeScan {
  std::vector<std::string> search_path;
  std::vector<std::string> found;
};

void ScanFile(const std::string& file, int depth, IncludeScan* scan);

// The library reads every "*.conf" of an included folder: a file added
// there changes the folder's times, and each one present is scanned too.
void ScanFolder(const std::string& folder, int depth, IncludeScan* scan) {
  scan->found.push_back(folder);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> files;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() > 5 && name.substr(name.size() - 5) == ".conf") files.push_back(folder + "/" + std::string(name));
  }
  ::closedir(dir);
  std::sort(files.begin(), files.end());
  for (const std::string& file : files) {
    scan->found.push_back(file);
    ScanFile(file, depth, scan);
  }
}

void ScanFile(const std::string& file, int depth, IncludeScan* scan) {
  if (depth > kMaxIncludeDepth) return;
  std::string text;
  std::string error;
  if (!ReadWholeFile(file, &text, &error)) return;
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (const std::string_view name = DirectiveValue(line, "includeFile"); !name.empty()) {
      const std::string included = name.front() == '/' ? std::string(name) : FolderPrefix(file) + std::string(name);
      scan->found.push_back(included);
      ScanFile(included, depth + 1, scan);
    } else if (const std::string_view folder = DirectiveValue(line, "includeDir"); !folder.empty()) {
      ScanFolder(std::string(folder), depth + 1, scan);
    } else if (const std::string_view searched = DirectiveValue(line, "includeSearch"); !searched.empty()) {
      for (const std::string& where : scan->search_path) {
        const std::string included = where + "/" + std::string(searched);
        scan->found.push_back(included);
        ScanFile(included, depth + 1, scan);
      }
    }
  }
}

void AddStatus(const std::string& path, std::string* fingerprint) {
  struct stat status {};
  fingerprint->append(path).push_back('\0');
  if (::stat(path.c_str(), &status) != 0) {
    fingerprint->append("-\n");
    return;
  }
  const long long fields[] = {static_cast<long long>(status.st_dev),    static_cast<long long>(status.st_ino),
                              static_cast<long long>(status.st_size),   status.st_mtim.tv_sec,
                              status.st_mtim.tv_nsec,                   status.st_ctim.tv_sec,
                              status.st_ctim.tv_nsec};
  for (const long long field : fields) fingerprint->append(std::to_string(field)).push_back(' ');
  fingerprint->push_back('\n');
}

}  // namespace

std::vector<std::string> SnmpConfigurationSearchPath() {
  std::vector<std::string> folders;
  const std::string configured = Environment("SNMPCONFPATH");
  if (!configured.empty()) {
    AddSearchPath(configured, &folders);
    return folders;
  }
  folders = {SNMPCONFPATH, SNMPSHAREPATH, SNMPLIBPATH};
  const std::string home = Environment("HOME");
  if (!home.empty()) folders.push_back(home + "/.snmp");
  return folders;
}

std::vector<std::string> SnmpIncludedPaths() {
  IncludeScan scan;
  scan.search_path = SnmpConfigurationSearchPath();
  for (const std::string& file : ConfigurationFiles(scan.search_path)) ScanFile(file, 1, &scan);
  return scan.found;
}

std::string WalkMibDirectories(const std::string& option) {
  if (option.empty() || (option.front() != '+' && option.front() != '-')) return option;
  std::string in_force;
  for (const std::string& folder : MibFolders()) in_force += (in_force.empty() ? "" : ":") + folder;
  const std::string added = option.substr(1);
  if (in_force.empty()) return added;
  return option.front() == '+' ? in_force + ":" + added : added + ":" + in_force;
}

std::vector<std::string> SnmpConfigurationFolders(const std::optional<std::string>& mib_directories) {
  std::vector<std::string> folders = SnmpConfigurationSearchPath();
  const std::string persistent = Environment("SNMP_PERSISTENT_DIR");
  folders.push_back(persistent.empty() ? NETSNMP_PERSISTENT_DIRECTORY : persistent);
  const std::vector<std::string> mib_folders = MibFolders(mib_directories);
  folders.insert(folders.end(), mib_folders.begin(), mib_folders.end());
  const std::vector<std::string> included = SnmpIncludedPaths();
  folders.insert(folders.end(), included.begin(), included.end());
  return folders;
}

std::vector<std::string> MibFilesNamedIn(const std::string& mibs) {
  std::vector<std::string> entries;
  AddSearchPath(mibs, &entries);
  std::erase_if(entries, [](const std::string& entry) { return entry.find('/') == std::string::npos; });
  return entries;
}

namespace {

// The canonical path of `path`, or empty when it has none.
std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool InsideOneOf(const std::string& file, const std::vector<std::string>& folders) {
  const std::string canonical = Canonical(file);
  if (canonical.empty()) return false;
  for (const std::string& folder : folders) {
    const std::string base = Canonical(folder);
    if (base.empty()) continue;
    if (canonical == base || canonical.compare(0, base.size() + 1, base + "/") == 0 || base == "/") return true;
  }
  return false;
}

bool MibFileUsable(const std::string& file, const std::vector<std::string>& folders, std::string* problem) {
  const int fd = OpenRegularFileForReading(file.c_str());
  if (fd < 0) {
    *problem = errno == EINVAL || errno == EISDIR ? ": '" + file + "' is not a regular file"
                                                  : ": " + ErrnoText("'" + file + "'", errno);
    return false;
  }
  ::close(fd);
  if (InsideOneOf(file, folders)) return true;
  *problem = ": '" + file + "' lies outside Net-SNMP's configuration and MIB folders";
  return false;
}

// The library's word for every module of the MIB folders.
constexpr std::string_view kAllModules = "ALL";
// Bytes of a MIB file read for its module name: comments may come first.
constexpr std::size_t kModuleHeadBytes = 4096;

// Skips blanks and "--" comments (to the end of the line).
void SkipBlanksAndComments(std::string_view* text) {
  for (;;) {
    const std::size_t start = text->find_first_not_of(" \t\r\n");
    text->remove_prefix(start == std::string_view::npos ? text->size() : start);
    if (text->substr(0, 2) != "--") return;
    const std::size_t end = text->find('\n');
    text->remove_prefix(end == std::string_view::npos ? text->size() : end);
  }
}

std::string_view NextWord(std::string_view* text) {
  SkipBlanksAndComments(text);
  const std::size_t end = text->find_first_of(" \t\r\n");
  const std::string_view word = text->substr(0, end);
  text->remove_prefix(word.size());
  return word;
}

// The module a MIB file defines, as the library reads it: its first word,
// when the next one is DEFINITIONS; empty otherwise.
std::string ModuleDefinedIn(const std::string& file) {
  const int fd = OpenRegularFileForReading(file.c_str());
  if (fd < 0) return {};
  char head[kModuleHeadBytes];
  const ssize_t count = ::read(fd, head, sizeof head);
  ::close(fd);
  if (count <= 0) return {};
  std::string_view text(head, static_cast<std::size_t>(count));
  const std::string_view name = NextWord(&text);
  return NextWord(&text) == "DEFINITIONS" ? std::string(name) : std::string();
}

// True when one of the MIB folders holds a regular file, within those
// folders, that defines `module`. The library skips names that begin with
// a dot, as here.
bool ModuleFound(const std::string& module, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) continue;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      const std::string file = folder + "/" + entry->d_name;
      if (ModuleDefinedIn(file) == module && InsideOneOf(file, folders)) {
        found = true;
        break;
      }
    }
    ::closedir(dir);
    if (found) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> MibModulesNamedIn(const std::string& mibs) {
  std::vector<std::string> entries;
  AddSearchPath(mibs, &entries);
  std::erase_if(entries, [](const std::string& entry) {
    return entry.find('/') != std::string::npos || entry == kAllModules;
  });
  return entries;
}

bool MibsValueUsable(const std::string& mibs, const std::optional<std::string>& mib_directories,
                     std::string* problem) {
  if (mibs.size() > kMaxWalkArgumentBytes) {
    *problem = ": the value is longer than " + std::to_string(kMaxWalkArgumentBytes) + " bytes";
    return false;
  }
  const std::vector<std::string> folders = SnmpConfigurationFolders(mib_directories);
  for (const std::string& file : MibFilesNamedIn(mibs)) {
    if (!MibFileUsable(file, folders, problem)) return false;
  }
  const std::vector<std::string> mib_folders = MibFolders(mib_directories);
  for (const std::string& module : MibModulesNamedIn(mibs)) {
    if (!ModuleFound(module, mib_folders)) {
      *problem = ": no regular file in Net-SNMP's MIB folders defines the module '" + module + "'";
      return false;
    }
  }
  return true;
}

std::string SnmpConfigurationFingerprint(const std::optional<std::string>& mibs) {
  std::string fingerprint;
  const std::vector<std::string> search_path = SnmpConfigurationSearchPath();
  for (const std::string& folder : search_path) AddStatus(folder, &fingerprint);
  for (const std::string& file : ConfigurationFiles(search_path)) AddStatus(file, &fingerprint);
  for (const std::string& included : SnmpIncludedPaths()) AddStatus(included, &fingerprint);
  for (const std::string& folder : MibFolders()) AddStatus(folder, &fingerprint);
  if (mibs) {
    for (const std::string& file : MibFilesNamedIn(*mibs)) AddStatus(file, &fingerprint);
  }
  return fingerprint;
}

}  // namespace zv
