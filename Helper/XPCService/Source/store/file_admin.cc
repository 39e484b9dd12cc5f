// SPDX-License-Identifier: MIT
// The write-access test, the generation swap, and the store's functions
// that apply them to the process-wide profile paths.
#include "store/file_admin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file_paths.h"
#include "platform/posix_io.h"
#include "platform/whole_file.h"
#include "store/list_lock.h"
#include "store/store_paths.h"
#include "store/zvplist.h"

namespace zv {
namespace {

// The probe's hidden name: ".write-access.<pid>.<counter>.probe".
constexpr char kProbeName[] = "write-access";
constexpr char kProbeSuffix[] = ".probe";
constexpr int kProbeAttempts = 16;

// open(2) that retries when a signal interrupts it.
int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Copies the whole of `from` to `to`. False when a read or write failed.
bool CopyContents(int from, int to) {
  char buffer[kBackupChunkBytes];
  for (;;) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(to, std::string_view(buffer, static_cast<std::size_t>(n)))) return false;
  }
}

// True when the two descriptors name the same file.
bool SameFile(int a, int b) {
  struct stat sa, sb;
  return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The previous generation becomes a copy of the current one. The current
// file is opened before the previous name is removed: when both names are
// one file, the open descriptor keeps its content for the copy. When it
// cannot be read, no empty file is created under the previous name, where
// a later restore would take it for a backup. Only a regular file is
// copied: a FIFO at the current path would block the copy for ever. A
// previous file that could not be removed is emptied before the copy, so
// the backup is never the old one with the copy appended; when it is the
// current file itself, it already holds the copy and is left alone.
void BackUpCurrent(const char* current, const char* previous) {
  const int from = current ? OpenRegularFileForReading(current) : -1;
  if (previous) ::unlink(previous);
  if (from < 0) return;
  const int to = previous ? OpenRetrying(previous, O_RDWR | O_APPEND | O_CREAT, kCreatedFileMode) : -1;
  if (to < 0 || SameFile(from, to)) {
    if (to >= 0) ::close(to);
    ::close(from);
    return;
  }
  const bool copied = ::ftruncate(to, 0) == 0 && CopyContents(from, to);
  const bool closed = ::close(to) == 0;
  ::close(from);
  if (!copied || !closed) ::unlink(previous);
}

// The previous generation takes the current one's place. The rename
// replaces the current file in one step, so there is no moment without
// one; only when there is no previous generation to move (absent path or
// no such file) is the current file removed, leaving no generation.
void RestorePrevious(const char* current, const char* previous) {
  if (current == nullptr) return;
  if (previous != nullptr && ::rename(previous, current) == 0) return;
  if (previous == nullptr || errno == ENOENT) ::unlink(current);
}

// Where the file system has no unnamed files: creates and removes a
// uniquely named hidden probe in `folder` (never the checked name, which
// another process may create meanwhile).
bool MayCreateNamedProbe(const std::string& folder) {
  const std::string beside = (folder.back() == '/' ? folder : folder + "/") + kProbeName;
  for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
    const std::string probe = HiddenNameBeside(beside, kProbeSuffix);
    const int fd = OpenRetrying(probe.c_str(), O_RDWR | O_CREAT | O_EXCL, kCreatedFileMode);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// True when a file may be created in `folder`: an unnamed file there,
// which vanishes with its descriptor, answers without a name at all.
bool MayCreateIn(const std::string& folder) {
  const int fd = OpenRetrying(folder.c_str(), O_TMPFILE | O_RDWR, kCreatedFileMode);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR) return false;
  return MayCreateNamedProbe(folder);
}

// True when the missing file `path` could be created by a write: a name
// that fits and a folder that takes new files. Neither `path` nor any
// other visible name is created.
bool MayCreate(const std::string& path) {
  const std::string name = path.substr(FolderPrefix(path).size());
  if (name.empty() || name.size() > NAME_MAX || path.size() >= PATH_MAX) return false;
  return MayCreateIn(FolderOf(path));
}

}  // namespace

bool TestWriteAccess(const char* path) {
  ::umask(kProcessUmask);
  if (path == nullptr) return false;
  const int fd = OpenRetrying(path, O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  // Missing (or a link to a missing file): ask whether the file a write
  // would create could be created, without creating it.
  std::string target;
  return errno == ENOENT && FollowFinalLinks(path, &target) && MayCreate(target);
}

bool ListPathUsable(const char* path, std::string* reason) {
  ListFile file;
  std::string refused;
  if (path == nullptr || FollowToListFile(path, &file, &refused)) return true;
  if (reason != nullptr) *reason = refused;
  return false;
}

bool RemoveListPath(const char* path, std::string* reason) {
  if (path == nullptr) return false;
  ProfileListLock lock(path, ProfileListLock::Mode::kExclusive);
  // remove(3) also takes an empty folder named by the path itself.
  struct stat own {};
  const bool folder = ::lstat(path, &own) == 0 && S_ISDIR(own.st_mode);
  if (!folder && !ListPathUsable(path, reason)) return false;
  if (std::remove(path) == 0) return true;
  if (reason != nullptr) *reason = ErrnoText("remove", errno);
  return false;
}

bool RenameOverListPath(const char* from, const char* to, std::string* reason) {
  ProfileListLocks locks(from, to);
  struct stat moved {};
  if (::lstat(from, &moved) == 0 && !S_ISREG(moved.st_mode)) {
    if (reason != nullptr) *reason = "'" + std::string(from) + "' is not a regular file";
    return false;
  }
  if (!ListPathUsable(to, reason)) return false;
  if (::rename(from, to) == 0) return true;
  if (reason != nullptr) *reason = ErrnoText("rename", errno);
  return false;
}

void SwapGenerations(int32_t type, const char* current, const char* previous) {
  ProfileListLocks locks(current, previous);
  if (!ListPathUsable(current, nullptr) || !ListPathUsable(previous, nullptr)) return;
  switch (type) {
    case kSwapBackUpCurrent:
      BackUpCurrent(current, previous);
      break;
    case kSwapDiscardPrevious:
      if (previous) ::unlink(previous);
      break;
    case kSwapRestorePrevious:
      RestorePrevious(current, previous);
      break;
    default:
      break;
  }
}

}  // namespace zv

extern "C" {

int ZVPListIsAdminProfile(void) {
  zv::StorePath current;
  if (!current.Load(ZV_PLIST_PROFILE_PATH)) {
    ::umask(zv::kProcessUmask);
    return 0;
  }
  return zv::TestWriteAccess(current.c_str()) ? 1 : 0;
}

void ZVPListSwapProfile(int type) {
  if (!ZVPListIsAdminProfile()) return;
  zv::StorePath current, previous;
  // Without a usable previous path there is no second generation to work
  // on: nothing is touched, not even the current file.
  if (!current.Load(ZV_PLIST_PROFILE_PATH) || !previous.Load(ZV_PLIST_PROFILE_PREV_PATH)) return;
  zv::SwapGenerations(type, current.c_str(), previous.c_str());
}

uint8_t ZVPListExistProfile(void) {
  if (!ZVPListIsAdminProfile()) return 0;
  zv::StorePath current;
  current.Load(ZV_PLIST_PROFILE_PATH);
  return zv::CanOpenForReading(current.c_str()) ? 1 : 0;
}

uint8_t ZVPListRemove(int selector) {
  if (!ZVPListIsAdminProfile()) return 0;
  const char* chosen = selector == 3 ? ZV_PLIST_PROFILE_PATH
                       : selector == 2 ? ZV_PLIST_PROFILE_PREV_PATH
                                       : nullptr;
  zv::StorePath path;
  if (!path.Load(chosen)) return 0;
  return zv::RemoveListPath(path.c_str(), nullptr) ? 1 : 0;
}

}  // extern "C"
