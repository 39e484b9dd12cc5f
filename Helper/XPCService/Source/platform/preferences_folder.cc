// SPDX-License-Identifier: MIT
#include "platform/preferences_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace zv {
namespace {

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

// The user's home directory: $HOME when absolute, else the password
// database's entry for the real user.
std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (IsAbsolute(home)) return home;
  const passwd* entry = ::getpwuid(::getuid());
  if (entry != nullptr && IsAbsolute(entry->pw_dir)) return entry->pw_dir;
  return "/";
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

}  // namespace zv
