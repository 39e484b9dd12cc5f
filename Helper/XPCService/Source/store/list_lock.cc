// SPDX-License-Identifier: MIT
#include "store/list_lock.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "platform/file_identity.h"
#include "platform/file_paths.h"

namespace zv {
namespace {

// The locks of this process, one per lock name while anyone holds or
// awaits it.
struct NamedLock {
  std::shared_mutex mutex;
  int users = 0;
  std::atomic<int> waiting{0};
};

struct NamedLocks {
  std::mutex mutex;
  std::map<std::string, NamedLock> locks;
};

NamedLocks& Locks() {
  static NamedLocks* const locks = new NamedLocks;  // outlives every holder
  return *locks;
}

NamedLock& Enter(const std::string& name) {
  NamedLocks& locks = Locks();
  std::lock_guard<std::mutex> guard(locks.mutex);
  NamedLock& lock = locks.locks[name];
  ++lock.users;
  return lock;
}

void Leave(const std::string& name) {
  NamedLocks& locks = Locks();
  std::lock_guard<std::mutex> guard(locks.mutex);
  auto found = locks.locks.find(name);
  if (found != locks.locks.end() && --found->second.users == 0) locks.locks.erase(found);
}

// Takes an flock on the file `name` names; -1 when there is none (or it
// cannot be opened), the descriptor holding the lock otherwise. A save
// that replaced the file while the lock was awaited leaves the lock on a
// file without a name: it is taken again on the file the name has now.
int LockFile(const std::string& name, ProfileListLock::Mode mode) {
  const int operation = mode == ProfileListLock::Mode::kShared ? LOCK_SH : LOCK_EX;
  for (;;) {
    // Only a regular file is locked: a name that leads anywhere else (a
    // list path refused, see FollowToListFile) is never opened through a
    // link, and a node put in its place is not kept open.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      ::close(fd);
      return -1;
    }
    int locked;
    do {
      locked = ::flock(fd, operation);
    } while (locked != 0 && errno == EINTR);
    const std::optional<FileIdentity> now = IdentityAt(name);
    if (locked != 0 || ::fstat(fd, &status) != 0 || !now || !(IdentityOf(status) == *now)) {
      ::close(fd);
      if (locked != 0 || !now) return -1;
      continue;
    }
    return fd;
  }
}

}  // namespace

std::string ProfileListLockName(const std::string& path) {
  ListFile file;
  std::string refused;
  return FollowToListFile(path, &file, &refused) ? file.path : path;
}

int ProfileListLockWaiters(const std::string& path) {
  const std::string name = ProfileListLockName(path);
  NamedLocks& locks = Locks();
  std::lock_guard<std::mutex> guard(locks.mutex);
  const auto found = locks.locks.find(name);
  return found == locks.locks.end() ? 0 : found->second.waiting.load();
}

struct ProfileListLock::Hold {
  std::string name;
  NamedLock* lock = nullptr;
  Mode mode = Mode::kShared;
  int file_fd = -1;
};

ProfileListLock::ProfileListLock(const std::string& path, Mode mode) : hold_(new Hold) {
  hold_->name = ProfileListLockName(path);
  hold_->mode = mode;
  hold_->lock = &Enter(hold_->name);
  ++hold_->lock->waiting;
  if (mode == Mode::kShared) {
    hold_->lock->mutex.lock_shared();
  } else {
    hold_->lock->mutex.lock();
  }
  --hold_->lock->waiting;
  hold_->file_fd = LockFile(hold_->name, mode);
}

const std::string& ProfileListLock::name() const { return hold_->name; }

ProfileListLocks::ProfileListLocks(const char* a, const char* b) {
  std::string names[2];
  int count = 0;
  for (const char* path : {a, b}) {
    if (path != nullptr) names[count++] = ProfileListLockName(path);
  }
  if (count == 2 && names[1] < names[0]) std::swap(names[0], names[1]);
  if (count == 2 && names[0] == names[1]) count = 1;
  // Each name is its own lock name already, so the holds go by these.
  for (int i = 0; i < count; ++i) {
    holds_[i] = std::make_unique<ProfileListLock>(names[i], ProfileListLock::Mode::kExclusive);
  }
}

ProfileListLocks::~ProfileListLocks() { holds_[1].reset(); }

ProfileListLock::~ProfileListLock() {
  if (hold_->file_fd >= 0) ::close(hold_->file_fd);  // the flock goes with it
  if (hold_->mode == Mode::kShared) {
    hold_->lock->mutex.unlock_shared();
  } else {
    hold_->lock->mutex.unlock();
  }
  Leave(hold_->name);
}

}  // namespace zv
