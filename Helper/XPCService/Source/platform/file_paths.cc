// SPDX-License-Identifier: MIT
#include "platform/file_paths.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zv {
namespace {

// The hidden name's leading part: "." and the file name, shortened so that
// the pid, the counter and `suffix` still fit a directory entry (20 bytes
// hold the longest pid and counter with their dots).
std::string HiddenStem(const std::string& path, const std::string& suffix) {
  const std::size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t reserved = 1 + 2 * 11 + suffix.size();
  const std::size_t room = NAME_MAX > reserved ? NAME_MAX - reserved : 0;
  if (base.size() > room) base.resize(room);
  return "." + base;
}

// Reads the decimal number at the start of `text` up to `stop`; false when
// there is none or it does not end at `stop`.
bool ReadNumber(const std::string& text, std::size_t* at, char stop, long* value) {
  const std::size_t begin = *at;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9' && *at - begin < 10) ++*at;
  if (*at == begin || *at >= text.size() || text[*at] != stop) return false;
  *value = std::strtol(text.c_str() + begin, nullptr, 10);
  return true;
}

}  // namespace

std::string FolderPrefix(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FolderOf(const std::string& path) {
  const std::string prefix = FolderPrefix(path);
  return prefix.empty() ? std::string(".") : prefix;
}

bool FollowFinalLinks(const std::string& path, std::string* target) {
  std::string current = path;
  char text[PATH_MAX];
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    const ssize_t n = ::readlink(current.c_str(), text, sizeof text);
    if (n < 0) {
      // Not a link, or nothing there: the write lands here (and any other
      // error is the write's own to report).
      *target = current;
      return true;
    }
    if (static_cast<std::size_t>(n) == sizeof text) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string link(text, static_cast<std::size_t>(n));
    current = link[0] == '/' ? link : FolderPrefix(current) + link;
  }
  errno = ELOOP;
  return false;
}

std::string HiddenNameBeside(const std::string& path, const std::string& suffix) {
  static std::atomic<unsigned> counter{0};
  return FolderPrefix(path) + HiddenStem(path, suffix) + "." + std::to_string(::getpid()) + "." +
         std::to_string(counter.fetch_add(1)) + suffix;
}

long HiddenNameOwner(const std::string& path, const std::string& entry, const std::string& suffix) {
  const std::string stem = HiddenStem(path, suffix) + ".";
  if (entry.compare(0, stem.size(), stem) != 0) return 0;
  std::size_t at = stem.size();
  long pid = 0, count = 0;
  if (!ReadNumber(entry, &at, '.', &pid)) return 0;
  ++at;
  if (!ReadNumber(entry, &at, '.', &count)) return 0;
  return entry.compare(at, std::string::npos, suffix) == 0 ? pid : 0;
}

}  // namespace zv
