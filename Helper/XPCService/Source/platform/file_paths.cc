// SPDX-License-Identifier: MIT
#include "platform/file_paths.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string_view>

namespace zv {
namespace {

// The hidden name's leading part: "." and the file name, shortened so that
// the pid, the counter and `suffix` still fit a directory entry (11 bytes
// each hold a dot and the longest pid or counter).
std::string HiddenStem(const std::string& path, const std::string& suffix) {
  const std::size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t reserved = 1 + 2 * 11 + suffix.size();
  const std::size_t room = NAME_MAX > reserved ? NAME_MAX - reserved : 0;
  if (base.size() > room) base.resize(room);
  return "." + base;
}

// True when `text` is a decimal number of 1 to 10 digits; its value in `*value`.
bool ParseNumber(std::string_view text, long* value) {
  if (text.empty() || text.size() > 10) return false;
  long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *value = n;
  return true;
}

// The pid in `tail` when it is exactly "<pid>.<counter><suffix>"; 0 when not.
long OwnerInTail(std::string_view tail, std::string_view suffix) {
  if (tail.size() <= suffix.size() || tail.substr(tail.size() - suffix.size()) != suffix) return 0;
  tail.remove_suffix(suffix.size());
  const std::size_t dot = tail.find('.');
  long pid = 0, counter = 0;
  if (dot == std::string_view::npos || !ParseNumber(tail.substr(0, dot), &pid) ||
      !ParseNumber(tail.substr(dot + 1), &counter)) {
    return 0;
  }
  return pid;
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
  return OwnerInTail(std::string_view(entry).substr(stem.size()), suffix);
}

long HiddenNameOwnerOfAnyFile(const std::string& entry, const std::string& suffix) {
  // ".<file name>.<pid>.<counter><suffix>": the last two dots before the
  // suffix start the counter and the pid.
  if (entry.size() <= suffix.size() || entry[0] != '.') return 0;
  const std::size_t counter_dot = entry.rfind('.', entry.size() - suffix.size() - 1);
  if (counter_dot == std::string::npos || counter_dot == 0) return 0;
  const std::size_t pid_dot = entry.rfind('.', counter_dot - 1);
  if (pid_dot == std::string::npos || pid_dot == 0) return 0;
  return OwnerInTail(std::string_view(entry).substr(pid_dot + 1), suffix);
}

}  // namespace zv
