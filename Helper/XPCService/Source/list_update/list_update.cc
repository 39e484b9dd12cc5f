// SPDX-License-Identifier: MIT
#include "list_update/list_update.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>

#include "list_update/list_cache.h"
#include "list_update/merge.h"
#include "platform/file_identity.h"
#include "platform/file_paths.h"
#include "platform/posix_io.h"
#include "report/debug_sink.h"
#include "store/file_admin.h"
#include "store/list_lock.h"
#include "store/profile_plist_file.h"
#include "store/unreadable_list.h"

namespace zv {
namespace {

using State = ProfileListSnapshot::State;

std::atomic<void (*)(const char*)> update_hook{nullptr};

void NoteListNotWritten(const char* path, const std::string& reason) {
  if (!WalkNotesWanted()) return;
  NoteWalk(WalkNote::kList, "the profile list '" + std::string(path) + "' could not be written: " + reason);
}

// True when the path still leads to the file the snapshot found there (or
// still to none).
bool StillTheFileRead(const char* path, const ProfileListSnapshot& snapshot) {
  if (snapshot.state == State::kUnreadable) return true;  // the keep-aside checks that one
  std::string target;
  if (!FollowFinalLinks(path, &target)) return false;
  const std::optional<FileIdentity> now = IdentityAt(target);
  if (snapshot.state == State::kMissing) return !now && errno == ENOENT;
  return now && *now == snapshot.identity;
}

// What became of an unreadable list before the save.
enum class Aside { kWrite, kReadAgain, kLeave };

Aside KeepAside(const char* path, const ProfileListSnapshot& snapshot) {
  const KeptAside kept = KeepUnreadableListAside(path, snapshot.identity);
  const std::string what =
      std::string("xpc - mibwalk_XPC - the profile list ") + path + " could not be read (" + snapshot.error + ")";
  switch (kept.outcome) {
    case KeepAsideOutcome::kMissing: return Aside::kWrite;
    case KeepAsideOutcome::kReplaced: return Aside::kReadAgain;
    case KeepAsideOutcome::kKeptAside: LogWalkLine(what + "; kept aside as " + kept.kept_as); return Aside::kWrite;
    case KeepAsideOutcome::kNotMoved: break;
  }
  LogWalkLine(what + " and could not be kept aside (" + kept.error + "); it was left as it was");
  NoteListNotWritten(path, "it could not be read, nor kept aside: " + kept.error);
  return Aside::kLeave;
}

// Reads the list at `path` (of lock name `name`) into `*lists` and
// `*snapshot`, or takes them from the cache when the file is as it was
// when the service last read it.
void ReadOrRecall(const char* path, const std::string& name, ProfileLists* lists, ProfileListSnapshot* snapshot) {
  struct stat before {};
  const bool there = ::stat(path, &before) == 0 && S_ISREG(before.st_mode);
  if (std::unique_ptr<CachedList> cached = there ? FindCachedList(name, before) : nullptr) {
    *lists = cached->lists;
    *snapshot = ProfileListSnapshot();
    snapshot->state = State::kRead;
    snapshot->identity = IdentityOf(before);
    snapshot->bytes = std::move(cached->bytes);
    return;
  }
  SnapshotProfileListFile(path, lists, snapshot);
  if (there && snapshot->state == State::kRead && snapshot->identity == IdentityOf(before)) {
    RememberList(name, before, CachedList{*lists, snapshot->bytes});
  }
}

// One read-merge-save under the list's lock; nullopt when the file changed
// under it and the update must start again.
std::optional<ListUpdateOutcome> UpdateOnce(const char* path, int walk_result, const ProfileList& spool) {
  ProfileListLock lock(path, ProfileListLock::Mode::kExclusive);
  std::string refused;
  if (!ListPathUsable(path, &refused)) {
    NoteListNotWritten(path, refused);
    return ListUpdateOutcome::kNotWritten;
  }
  auto lists = std::make_unique<ProfileLists>();
  ProfileListSnapshot snapshot;
  ReadOrRecall(path, lock.name(), lists.get(), &snapshot);
  if (void (*hook)(const char*) = update_hook.load()) hook(path);
  MergeSpoolIntoLists(walk_result, spool, *lists);
  const std::string bytes = ProfileListBytes(*lists);
  if (snapshot.state == State::kRead && bytes == snapshot.bytes) return ListUpdateOutcome::kUnchanged;
  if (!TestWriteAccess(path)) {
    NoteListNotWritten(path, WriteAccessRefusalReason(path));
    return ListUpdateOutcome::kNotWritten;
  }
  if (snapshot.state == State::kUnreadable) {
    switch (KeepAside(path, snapshot)) {
      case Aside::kWrite: break;
      case Aside::kReadAgain: return std::nullopt;
      case Aside::kLeave: return ListUpdateOutcome::kNotWritten;
    }
  } else if (!StillTheFileRead(path, snapshot)) {
    return std::nullopt;
  }
  std::string reason;
  bool in_place_unflushed = false;
  if (WriteProfileListBytes(path, bytes, &reason, &in_place_unflushed)) return ListUpdateOutcome::kWritten;
  if (in_place_unflushed) {
    NoteWalk(WalkNote::kList, "the profile list '" + std::string(path) + "': " + reason);
    return ListUpdateOutcome::kWrittenUnflushed;
  }
  NoteListNotWritten(path, reason);
  return ListUpdateOutcome::kNotWritten;
}

}  // namespace

ListUpdateOutcome UpdateProfileListFile(const char* path, int walk_result, const ProfileList& spool) {
  if (path == nullptr || path[0] == '\0') return ListUpdateOutcome::kNotWritten;
  for (int attempt = 0; attempt < kListUpdateAttempts; ++attempt) {
    if (const std::optional<ListUpdateOutcome> outcome = UpdateOnce(path, walk_result, spool)) return *outcome;
  }
  NoteListNotWritten(path, "another writer kept replacing it while it was merged");
  return ListUpdateOutcome::kNotWritten;
}

void SetListUpdateHook(void (*hook)(const char* path)) { update_hook.store(hook); }

std::string WriteAccessRefusalReason(const char* path) {
  if (path == nullptr || path[0] == '\0') return "no profile path is set";
  // The store's write-access test opens the list for writing, creating it
  // when it is missing; the same open without creating tells why it refused.
  const int fd = ::open(path, O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    ::close(fd);
    return "the write-access test refused it";
  }
  if (errno != ENOENT) return ErrnoText("open", errno);
  const std::string directory = FolderOf(path);
  if (::access(directory.c_str(), W_OK | X_OK) != 0) {
    return ErrnoText("folder '" + directory + "'", errno);
  }
  return "the write-access test refused it";
}

}  // namespace zv
