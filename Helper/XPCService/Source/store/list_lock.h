// SPDX-License-Identifier: MIT
// The lock that keeps readers and writers of one profile list apart.
//
// A list may have several names (a symbolic link to another user's list,
// a path through a linked folder), and every save replaces its file with a
// new one. So the lock is taken on what the names share: the file at the
// end of the link chain, named by its folder's canonical path and its own
// name. Within the process, one lock per such name; between processes, an
// flock on the file itself (taken again when a save replaced the file
// while the lock was awaited). A missing file is locked by its name alone.
#pragma once

#include <memory>
#include <string>

namespace zv {

/// The name the lock of the profile list at `path` goes by: the file at
/// the end of its link chain, with its folder's path made canonical, as
/// FollowToListFile gives it; `path` itself when that refuses the path (no
/// writer then writes it, and no file is opened to lock it).
std::string ProfileListLockName(const std::string& path);

/// How many holds of this process wait for the lock of the list at `path`
/// now (tests wait on it to know that a hold is being held up).
int ProfileListLockWaiters(const std::string& path);

/// A hold on the lock of one profile list, for as long as the object
/// lives. Shared holds (readers) go together; an exclusive hold (a writer,
/// or a read-merge-write) excludes every other hold, in this process and
/// in others that use this lock. Blocks until the hold is had.
class ProfileListLock {
 public:
  enum class Mode { kShared, kExclusive };

  ProfileListLock(const std::string& path, Mode mode);
  ~ProfileListLock();
  ProfileListLock(const ProfileListLock&) = delete;
  ProfileListLock& operator=(const ProfileListLock&) = delete;

  /// The lock name of the list (ProfileListLockName of its path).
  const std::string& name() const;

 private:
  struct Hold;
  std::unique_ptr<Hold> hold_;
};

/// Exclusive holds on the locks of the lists at `a` and `b` (a null path:
/// none), for an operation that changes both (a swap, a rename of one over
/// the other). The two are taken in the order of their lock names, so two
/// such operations on the same two lists never wait for each other; names
/// of one list take its lock once. The second is let go first.
class ProfileListLocks {
 public:
  ProfileListLocks(const char* a, const char* b);
  ~ProfileListLocks();
  ProfileListLocks(const ProfileListLocks&) = delete;
  ProfileListLocks& operator=(const ProfileListLocks&) = delete;

 private:
  std::unique_ptr<ProfileListLock> holds_[2];
};

}  // namespace zv
