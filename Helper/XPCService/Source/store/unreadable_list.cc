// SPDX-License-Identifier: MIT
#include "store/unreadable_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_paths.h"
#include "platform/posix_io.h"

namespace zv {
namespace {

std::string AsideName(const std::string& target, int number) {
  std::string name = target + std::string(kUnreadableListSuffix);
  if (number > 0) name += "." + std::to_string(number);
  return name;
}

// Renames `from` to `to` unless `to` exists. Where the file system cannot
// refuse to replace (no RENAME_NOREPLACE), a hard link and an unlink do the
// same. False with errno set; EEXIST when `to` exists.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (link(from.c_str(), to.c_str()) != 0) return false;
  return unlink(from.c_str()) == 0 || errno == ENOENT;
}

}  // namespace

KeptAside KeepUnreadableListAside(const std::string& path, const FileIdentity& unread) {
  KeptAside result;
  ListFile file;
  if (!FollowToListFile(path, &file, &result.error)) {
    result.outcome = KeepAsideOutcome::kNotMoved;
    return result;
  }
  if (!file.exists) return result;
  const std::string& target = file.path;
  struct stat status;
  if (lstat(target.c_str(), &status) != 0) {
    if (errno == ENOENT) return result;
    result.outcome = KeepAsideOutcome::kNotMoved;
    result.error = ErrnoText("lstat", target, errno);
    return result;
  }
  if (!S_ISREG(status.st_mode) || !(IdentityOf(status) == unread)) {
    result.outcome = KeepAsideOutcome::kReplaced;
    return result;
  }
  result.outcome = KeepAsideOutcome::kNotMoved;
  for (int number = 0; number < kUnreadableListNames; ++number) {
    const std::string aside = AsideName(target, number);
    if (RenameWithoutReplacing(target, aside)) {
      result.outcome = KeepAsideOutcome::kKeptAside;
      result.kept_as = aside;
      return result;
    }
    if (errno != EEXIST) {
      result.error = ErrnoText("rename", target, errno);
      return result;
    }
  }
  result.error = "every name from " + AsideName(target, 0) + " to " + AsideName(target, kUnreadableListNames - 1) +
                 " is taken";
  return result;
}

}  // namespace zv
