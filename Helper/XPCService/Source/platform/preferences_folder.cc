// SPDX-License-Identifier: MIT
#include "platform/preferences_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/posix_io.h"

namespace zv {
namespace {

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

// The user's home directory: $HOME when absolute, else the password
// database's entry for the real user. getpwuid_r, as the client libraries
// may compose paths on several threads at once.
std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (IsAbsolute(home)) return home;
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384, '\0');
  passwd storage;
  passwd* entry = nullptr;
  if (::getpwuid_r(::getuid(), &storage, buffer.data(), buffer.size(), &entry) == 0 && entry != nullptr &&
      IsAbsolute(entry->pw_dir)) {
    return entry->pw_dir;
  }
  return "/";
}

// Makes the one folder `path` unless it is already there as a folder.
bool MakeOneFolder(const std::string& path, std::string* error) {
  if (::mkdir(path.c_str(), kPreferencesDirectoryMode) == 0) return true;
  const int mkdir_errno = errno;
  struct stat st;
  if (mkdir_errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  *error = ErrnoText("mkdir", path, mkdir_errno == EEXIST ? ENOTDIR : mkdir_errno);
  return false;
}

}  // namespace

std::string DefaultPreferencesDirectory() {
#ifdef ZV_PREFERENCES_DIR
  return WithSlash(ZV_PREFERENCES_DIR);
#else
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base = IsAbsolute(config) ? WithSlash(config) : WithSlash(HomeDirectory()) + ".config/";
  return base + "zvxpc/";
#endif
}

bool CreatePreferencesDirectory(const std::string& directory, std::string* error) {
  struct stat st;
  if (::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  // Each component from the root down, so that parents exist before their
  // children; the ones already there cost a failed mkdir each.
  for (std::size_t slash = directory.find('/', 1); ; slash = directory.find('/', slash + 1)) {
    const std::string prefix = directory.substr(0, slash);
    if (!prefix.empty() && prefix.back() != '/' && !MakeOneFolder(prefix, error)) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace zv
