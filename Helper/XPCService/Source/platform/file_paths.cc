// SPDX-License-Identifier: MIT
#include "platform/file_paths.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "platform/posix_io.h"

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

// True when `path` is `root` or lies below it.
bool IsUnder(const std::string& path, std::string_view root) {
  return path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == '/');
}

// The kernel's own folder ("/proc" or "/sys") that the folder `folder`
// lies in by its name; null when none.
const char* KernelFolderNamed(const std::string& folder) {
  if (IsUnder(folder, "/proc")) return "/proc";
  if (IsUnder(folder, "/sys")) return "/sys";
  return nullptr;
}

// KernelFolderNamed for the canonical folder `canonical`, or the kernel
// folder whose file system is mounted there; null when none.
const char* KernelFolderOf(const std::string& canonical) {
  if (const char* named = KernelFolderNamed(canonical)) return named;
  struct statfs fs {};
  if (::statfs(canonical.c_str(), &fs) != 0) return nullptr;
  if (fs.f_type == PROC_SUPER_MAGIC) return "/proc";
  if (fs.f_type == SYSFS_MAGIC) return "/sys";
  return nullptr;
}

// What a file of mode `mode` is, for a refusal; null for a regular file.
const char* KindRefused(mode_t mode) {
  if (S_ISREG(mode)) return nullptr;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device node";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a directory";
  return "a file of an unknown kind";
}

bool Refuse(std::string* reason, std::string text) {
  *reason = std::move(text);
  return false;
}

// `name` in the canonical folder `folder`.
std::string InFolder(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The canonical path of the folder of `current` in `*folder`. A folder
// named under /proc or /sys is refused by its name alone, before realpath
// reads any link there (/proc/self among them); then by its canonical
// path and its file system.
bool CanonicalFolderOf(const std::string& current, const std::string& quoted, std::string* folder,
                       std::string* reason) {
  const std::string named = FolderOf(current);
  if (const char* kernel = KernelFolderNamed(named)) return Refuse(reason, quoted + " leads through " + kernel);
  char canonical[PATH_MAX];
  if (::realpath(named.c_str(), canonical) == nullptr) return Refuse(reason, ErrnoText("realpath", named, errno));
  if (const char* kernel = KernelFolderOf(canonical)) return Refuse(reason, quoted + " leads through " + kernel);
  *folder = canonical;
  return true;
}

// The path the symbolic link `link`, in the canonical folder `folder`,
// leads to, in `*next`.
bool NextInChain(const std::string& link, const std::string& folder, std::string* next, std::string* reason) {
  char text[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), text, sizeof text);
  if (n <= 0 || static_cast<std::size_t>(n) == sizeof text) {
    return Refuse(reason, ErrnoText("readlink", link, n < 0 ? errno : n == 0 ? ENOENT : ENAMETOOLONG));
  }
  const std::string target(text, static_cast<std::size_t>(n));
  *next = target[0] == '/' ? target : InFolder(folder, target);
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

bool FollowToListFile(const std::string& path, ListFile* file, std::string* reason) {
  const std::string quoted = "'" + path + "'";
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    const std::string name = current.substr(FolderPrefix(current).size());
    if (name.empty()) return Refuse(reason, quoted + " leads to a directory, not a regular file");
    std::string folder;
    if (!CanonicalFolderOf(current, quoted, &folder, reason)) return false;
    current = InFolder(folder, name);
    struct stat status {};
    if (::lstat(current.c_str(), &status) != 0) {
      if (errno != ENOENT) return Refuse(reason, ErrnoText("lstat", current, errno));
      *file = ListFile{current, false};
      return true;
    }
    if (!S_ISLNK(status.st_mode)) {
      const char* kind = KindRefused(status.st_mode);
      if (kind != nullptr) return Refuse(reason, quoted + " leads to " + kind + ", not a regular file");
      *file = ListFile{current, true};
      return true;
    }
    if (!NextInChain(current, folder, &current, reason)) return false;
  }
  return Refuse(reason, quoted + " is a loop of symbolic links");
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
