// SPDX-License-Identifier: MIT
// File administration shared by the store's functions on the process-wide
// profile paths and by the service's file operations on paths from a
// request: the write-access test and the swap of two file generations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zv {

/// Copy chunk of the generation backup.
constexpr std::size_t kBackupChunkBytes = 65535;
/// File-creation mask that every write-access test leaves in force.
constexpr unsigned kProcessUmask = 002;

/// Swap types of SwapGenerations.
enum SwapType : int32_t {
  kSwapRestorePrevious = 0,  // previous replaces current
  kSwapDiscardPrevious = 1,  // previous removed
  kSwapBackUpCurrent = 2,    // current copied over previous
};

/// Write-access test: sets the file-creation mask to 002, then answers
/// whether `path` could be opened for reading and appending, created (0664)
/// when missing, without creating, removing or writing anything under that
/// name: an existing file is opened (not blocking, not truncated) and
/// closed; for a missing file, or a symbolic link whose target is missing,
/// the folder where the write would create it is asked to take a new file
/// (an unnamed one, or a uniquely named hidden probe that is removed at
/// once). False for a null path or when either test fails.
bool TestWriteAccess(const char* path);

/// True when `path` is null or FollowToListFile accepts it (a regular
/// file, or a name nothing has yet); else false with its reason in
/// `*reason` (when given).
bool ListPathUsable(const char* path, std::string* reason);

/// Removes `path` as remove(3) does (the file, or the link that the path
/// itself is, or an empty folder that it names), under the list's lock.
/// Refused, with nothing removed, when its links lead anywhere
/// ListPathUsable refuses. False, with why in `*reason` (when given), when
/// nothing was removed.
bool RemoveListPath(const char* path, std::string* reason);

/// Renames `from` over `to` in one step, under the locks of both lists.
/// Refused, with both left as they were, when `from` is there but is not a
/// regular file (it is moved, not followed) or ListPathUsable refuses `to`.
/// False, with why in `*reason` (when given), when nothing was renamed.
bool RenameOverListPath(const char* from, const char* to, std::string* reason);

/// Swap of two generations of a file, under the locks of both lists; a
/// null path is absent and every step on it fails without effect. When
/// ListPathUsable refuses either path, nothing is done at all. kSwapBackUpCurrent removes `previous`, then
/// copies `current` to it in chunks of 65535 bytes; when `current` cannot
/// be opened no previous file is created, and a failed read or write ends
/// the copy and removes the partial copy, so no empty or torn backup is
/// left. The previous file always ends up an exact copy, never the old
/// backup with the copy appended (also when it could not be removed), and
/// names that are one file keep its content.
/// kSwapDiscardPrevious removes `previous`. kSwapRestorePrevious renames
/// `previous` over `current` in one step; when there is no previous file
/// (or `previous` is null) it removes `current` instead, and on any other
/// failure of the rename it leaves `current` in place. Any other type does
/// nothing.
void SwapGenerations(int32_t type, const char* current, const char* previous);

}  // namespace zv
