// SPDX-License-Identifier: MIT
#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/file_paths.h"
#include "platform/posix_io.h"

namespace zv {
namespace {

constexpr int kTemporaryNameAttempts = 16;

std::atomic<int (*)(int)> folder_flush{::fsync};
// Buffer of the copy where the kernel cannot copy between two files.
constexpr std::size_t kCopyChunkBytes = 64 * 1024;

// True when no process with id `pid` runs (any more).
bool ProcessGone(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// Removes the entries of `folder` whose owner, as `owner_of` reads it from
// the name, is another process that no longer runs.
template <typename OwnerOf>
void RemoveEntriesOfEndedProcesses(const std::string& folder, OwnerOf owner_of) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const long self = ::getpid();
  while (const struct dirent* entry = ::readdir(dir)) {
    const long owner = owner_of(entry->d_name);
    if (owner > 0 && owner != self && ProcessGone(owner)) ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

// Removes the temporaries of `target` that a process which no longer runs
// left behind (it was killed between naming and renaming one).
void RemoveStaleTemporaries(const std::string& target) {
  RemoveEntriesOfEndedProcesses(FolderOf(target), [&target](const char* name) {
    return HiddenNameOwner(target, name, kTemporarySuffix);
  });
}

// A file being written: its descriptor, and its name once it has one.
struct NewFile {
  int fd = -1;
  std::string name;
};

// The name a message gives the new file: its own once it has one, else
// the folder it is made in.
std::string ShownName(const std::string& target, const NewFile& file) {
  return file.name.empty() ? FolderOf(target) : file.name;
}

// Creates a named temporary beside `target`; false with errno set.
bool CreateNamedTemporary(const std::string& target, NewFile* file) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    file->name = HiddenNameBeside(target, kTemporarySuffix);
    file->fd = ::open(file->name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kCreatedFileMode);
    if (file->fd >= 0) return true;
    if (errno != EEXIST) break;
  }
  file->name.clear();
  return false;
}

// Opens an unnamed file in the target's folder, or a named temporary where
// the file system has no unnamed files; false with errno set.
bool CreateNewFile(const std::string& target, NewFile* file) {
  file->fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kCreatedFileMode);
  if (file->fd >= 0) return true;
  if (errno != EOPNOTSUPP && errno != EISDIR) return false;
  return CreateNamedTemporary(target, file);
}

// Gives the unnamed file a hidden name beside `target`: through its
// /proc/self/fd entry, or straight from the descriptor where /proc is
// missing (which takes privilege).
bool LinkIn(const std::string& target, NewFile* file) {
  const std::string self = "/proc/self/fd/" + std::to_string(file->fd);
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    file->name = HiddenNameBeside(target, kTemporarySuffix);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file->name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == ENOENT && ::linkat(file->fd, "", AT_FDCWD, file->name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != EEXIST) break;
  }
  file->name.clear();
  return false;
}

// Gives the new file the permission bits of the file it replaces, and its
// owner where the process may set one. The bits decide who may read the
// user's lists: a file that cannot get them is not put in place (false,
// with the message). Only root can give a file away; where even root may
// not (a file system without owners, ids outside the user namespace) the
// new file stays root's, with the old bits, and the save still stands.
bool KeepAttributes(const NewFile& file, const std::string& shown, const struct stat& old, std::string* error) {
  if (::fchmod(file.fd, old.st_mode & 07777) != 0) {
    *error = ErrnoText("fchmod", shown, errno);
    return false;
  }
  if (::geteuid() == 0) {
    if (::fchown(file.fd, old.st_uid, old.st_gid) != 0) { /* stays root's, as told above */ }
  }
  return true;
}

// What the new file holds: the first `kept_bytes` of the file open at
// `kept_fd`, then `appended`.
struct NewContent {
  int kept_fd = -1;
  std::size_t kept_bytes = 0;
  std::string_view appended;
};

// Copies the first `count` bytes of `from` to the current position of
// `to` through a fixed buffer; false with errno set (EIO when `from` ends
// early).
bool CopyThroughBuffer(int from, int to, std::size_t count) {
  char buffer[kCopyChunkBytes];
  for (off_t offset = 0; count > 0;) {
    const ssize_t n = ::pread(from, buffer, std::min(count, sizeof buffer), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    if (!WriteAll(to, std::string_view(buffer, static_cast<std::size_t>(n)))) return false;
    offset += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies the first `count` bytes of `from` to the current position of
// `to` in the kernel, without passing them through this process; through
// a fixed buffer where the kernel cannot copy between the two files.
// False with errno set (EIO when `from` ends early).
bool CopyLeadingBytes(int from, int to, std::size_t count) {
  loff_t offset = 0;
  while (count > 0) {
    const ssize_t n = ::copy_file_range(from, &offset, to, nullptr, count, 0);
    if (n > 0) {
      count -= static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    if (errno == EINTR) continue;
    const bool kernel_cannot = errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP;
    // Nothing was copied yet: the fallback starts from the beginning.
    if (kernel_cannot && offset == 0) return CopyThroughBuffer(from, to, count);
    return false;
  }
  return true;
}

// Writes the whole new content at the current position of `fd`.
bool WriteContent(int fd, const NewContent& content) {
  if (content.kept_bytes > 0 && !CopyLeadingBytes(content.kept_fd, fd, content.kept_bytes)) return false;
  return WriteAll(fd, content.appended);
}

// Rewrites `path` in place: its first kept bytes stay, the rest is cut
// and the appended text written after them; flushed to disk, each step
// named in the message when it fails. Not crash-safe. No name changes, so
// the file's own flush is all a power cut needs.
bool RewriteInPlace(const std::string& path, const NewContent& content, std::string* error) {
  // The name was checked to be a regular file; one put in its place since
  // is neither followed nor written.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = ErrnoText("open", path, errno);
    return false;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = ErrnoText("open", path, EINVAL);
    ::close(fd);
    return false;
  }
  if (content.kept_bytes == 0 && ::ftruncate(fd, 0) != 0) {
    *error = ErrnoText("ftruncate", path, errno);
    ::close(fd);
    return false;
  }
  const off_t kept = static_cast<off_t>(content.kept_bytes);
  const char* failed = nullptr;
  if (kept > 0 && ::ftruncate(fd, kept) != 0) {
    failed = "ftruncate";
  } else if (kept > 0 && ::lseek(fd, kept, SEEK_SET) != kept) {
    failed = "lseek";
  } else if (!WriteAll(fd, content.appended)) {
    failed = "write";
  } else if (::fsync(fd) != 0) {
    failed = "fsync";
  }
  if (failed != nullptr) *error = ErrnoText(failed, path, errno);
  if (::close(fd) != 0 && failed == nullptr) {
    *error = ErrnoText("close", path, errno);
    return false;
  }
  return failed == nullptr;
}

// True when a folder flush failed only because the folder's file system
// has no such flush (or cannot be written at all): the rename is then as
// durable as that file system makes anything, and the save counts as done.
bool FolderFlushUnsupported(int err) { return err == EINVAL || err == EROFS || err == EOPNOTSUPP; }

// Flushes the folder `folder` to disk, so that the name a rename just put
// in it survives a power cut (the file's own flush covers its content,
// not the folder entry that names it). False with the failing call in
// `*error`; a file system without folder flushes counts as flushed.
bool FlushFolder(const std::string& folder, std::string* error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *error = ErrnoText("open", folder, errno);
    return false;
  }
  const bool flushed = folder_flush.load()(fd) == 0 || FolderFlushUnsupported(errno);
  if (!flushed) {
    *error = "the new content is in place, but its folder could not be flushed (" +
             ErrnoText("fsync", folder, errno) + "), so a power cut may undo it";
  }
  ::close(fd);
  return flushed;
}

bool DirectoryRefusal(int err) { return err == EACCES || err == EPERM || err == EROFS; }

// Writes the content to the new file and flushes it to disk.
bool FillAndFlush(const NewFile& file, const std::string& shown, const NewContent& content, std::string* error) {
  if (!WriteContent(file.fd, content)) {
    *error = ErrnoText("write", shown, errno);
    return false;
  }
  if (::fsync(file.fd) != 0) {
    *error = ErrnoText("fsync", shown, errno);
    return false;
  }
  return true;
}

// Fills the new file, names it (when unnamed) and renames it over
// `target`. Closes the descriptor; removes the name on failure.
bool CompleteAndRename(const std::string& target, NewFile* file, const NewContent& content, std::string* error) {
  const bool unnamed = file->name.empty();
  const std::string shown = ShownName(target, *file);
  bool ok = FillAndFlush(*file, shown, content, error);
  if (ok && unnamed && !LinkIn(target, file)) {
    ok = false;
    *error = ErrnoText("linkat", target, errno);
  }
  if (::close(file->fd) != 0 && ok) {
    ok = false;
    *error = ErrnoText("close", shown, errno);
  }
  if (ok && ::rename(file->name.c_str(), target.c_str()) != 0) {
    ok = false;
    *error = ErrnoText("rename", file->name, errno);
  }
  if (!ok && !file->name.empty()) ::unlink(file->name.c_str());
  return ok;
}

// Closes a new file that is not used after all, and removes its name.
void Discard(const NewFile& file) {
  ::close(file.fd);
  if (!file.name.empty()) ::unlink(file.name.c_str());
}

// Replaces what `path` (at the end of its links) holds with `content`, as
// ReplaceFileContents tells.
bool ReplaceWith(const std::string& path, const NewContent& content, std::string* error, bool* in_place_unflushed) {
  ListFile list_file;
  if (!FollowToListFile(path, &list_file, error)) return false;
  const std::string& target = list_file.path;
  struct stat old;
  const bool existed = list_file.exists && ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  RemoveStaleTemporaries(target);
  NewFile file;
  if (!CreateNewFile(target, &file)) {
    if (existed && DirectoryRefusal(errno) && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0) {
      return RewriteInPlace(target, content, error);
    }
    *error = ErrnoText("open", ShownName(target, file), errno);
    return false;
  }
  if (existed && !KeepAttributes(file, ShownName(target, file), old, error)) {
    Discard(file);
    return false;
  }
  if (!CompleteAndRename(target, &file, content, error)) return false;
  if (FlushFolder(FolderOf(target), error)) return true;
  if (in_place_unflushed != nullptr) *in_place_unflushed = true;
  return false;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view data, std::string* error,
                         bool* in_place_unflushed) {
  return ReplaceWith(path, NewContent{-1, 0, data}, error, in_place_unflushed);
}

bool AppendToFileContents(const std::string& path, int current_fd, std::size_t kept_bytes, std::string_view data,
                          std::string* error) {
  return ReplaceWith(path, NewContent{current_fd, kept_bytes, data}, error, nullptr);
}

void SetFolderFlushForTesting(int (*flush)(int fd)) { folder_flush.store(flush != nullptr ? flush : ::fsync); }

void RemoveStaleTemporariesIn(const std::string& folder) {
  RemoveEntriesOfEndedProcesses(folder, [](const char* name) {
    return HiddenNameOwnerOfAnyFile(name, kTemporarySuffix);
  });
}

}  // namespace zv
