// SPDX-License-Identifier: MIT
// Bringing one profile list file up to date with what a walk delivered:
// read once, merged in memory, and written back only when that changes
// its bytes, under the list's lock (store/list_lock.h) from the read to
// the save. The service runs it for each walk, after the walk's process
// has reported its rows.
#pragma once

#include <string>

#include "store/zvplist.h"

namespace zv {

/// How often an update reads the list again when another writer replaced
/// the file between its read and its save.
inline constexpr int kListUpdateAttempts = 3;

/// What UpdateProfileListFile did.
enum class ListUpdateOutcome {
  kWritten,     // the merged lists replaced the file
  kWrittenUnflushed,  // they replaced it, but its folder could not be flushed: a kList note says so
  kUnchanged,   // the file already held the merged lists' very bytes: nothing was written
  kNotWritten,  // the list was left as it was; a kList note says why
};

/// Brings the profile list at `path` up to date with `spool`, the rows of
/// a walk that ended with `walk_result` (0: normally; any other value: it
/// failed). Holds the list's lock exclusively throughout, and:
/// - writes nothing, and reads nothing, when the path leads anywhere but
///   to a regular file or a name nothing has yet (ListPathUsable), and
///   notes why;
/// - reads the list once, or not at all when the service read it before
///   and the file is still as it was then (list_cache.h); a missing or
///   unreadable one gives three empty lists;
/// - merges the spool into the lists (MergeSpoolIntoLists);
/// - stops when the merged lists serialise to exactly the bytes the file
///   holds: no temporary file, no write, no flush, no rename;
/// - asks the write-access test (TestWriteAccess), and when it refuses,
///   notes why and writes nothing;
/// - keeps an unreadable list aside before it writes (the very file whose
///   read failed, never one that took its name since: unreadable_list.h),
///   with a line to the walk's log sink saying where and why; when it
///   cannot be moved, nothing is written;
/// - when the file at the path is another one than the one read (a
///   program that skips the lock wrote the list meanwhile: every writer of
///   this system waits for it), reads it again and merges again, at most
///   kListUpdateAttempts times in all;
/// - saves atomically (WriteProfileListBytes).
/// Notes (WalkNote::kList) why the list was not written. `path` null or
/// empty: nothing is read or written.
ListUpdateOutcome UpdateProfileListFile(const char* path, int walk_result, const ProfileList& spool);

/// Called, when set, by every update once it holds the list's lock and has
/// read the list, before it merges; tests hold a merge open with it. Null:
/// none. Set it before updates run.
void SetListUpdateHook(void (*hook)(const char* path));

/// Why the store's write-access test refused the profile list at `path`
/// (the errno text of the open that refuses, or the folder's); "the
/// write-access test refused it" when the same open now succeeds.
std::string WriteAccessRefusalReason(const char* path);

}  // namespace zv
