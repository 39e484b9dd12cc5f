// SPDX-License-Identifier: MIT
// Crash-safe replacement of a file's whole content, also by the file's
// earlier content with more appended.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zv {

/// Name ending of the temporaries that ReplaceFileContents links in beside
/// the file it replaces.
inline constexpr char kTemporarySuffix[] = ".tmp";

/// Replaces the whole content of `path` with `data` so that readers see
/// either the old or the new content, never a torn file. A symbolic link
/// at `path` stays one: its target (followed to the end of the chain) is
/// the file replaced. Only a regular file, or a name nothing has yet, is
/// replaced: anything else FollowToListFile refuses fails the save with its
/// reason, and nothing is created or written. The content goes to an unnamed file in the target's
/// folder (created with permission bits 0664 less the file-creation mask),
/// is flushed to disk, and only then gets a name that is renamed over the
/// target, so a crash leaves no half-written temporary; where the file
/// system has no unnamed files, a named temporary takes its place.
/// Temporaries of the same file left by processes that no longer run are
/// removed first. An existing file keeps its permission bits (a new file
/// that cannot get them is removed and the save fails) and, where the
/// process may set it, its owner. After the rename the folder is flushed
/// too, so that the new name survives a power cut; a file system without
/// folder flushes counts as flushed. When the folder refuses the new file
/// but the target exists and is writable, falls back to rewriting it in
/// place and flushing it (not crash-safe). Returns false with a message in
/// `*error` (naming the failing call and the errno text) when the content
/// could not be stored durably; the target then keeps its old content,
/// except after a failed in-place fallback, and after a failed folder
/// flush, where the new content is in place but may not survive a power
/// cut: `*in_place_unflushed` (when given) is then set true, and the
/// message says so.
bool ReplaceFileContents(const std::string& path, std::string_view data, std::string* error,
                         bool* in_place_unflushed = nullptr);

/// As ReplaceFileContents, with the new content made of the first
/// `kept_bytes` bytes of the file followed by `data`: an append that is as
/// crash-safe as a replacement and never holds the file's content in
/// memory. `current_fd` reads the file at `path` as it is now (-1, with
/// `kept_bytes` 0, when there is none); the kept bytes are copied from it
/// into the new file by the kernel (or through a fixed buffer where the
/// kernel cannot), so the memory used does not grow with the file. The
/// in-place fallback cuts the file to its first `kept_bytes` bytes and
/// writes `data` after them. A file that holds fewer than `kept_bytes`
/// bytes by the time they are copied fails the append (EIO).
bool AppendToFileContents(const std::string& path, int current_fd, std::size_t kept_bytes, std::string_view data,
                          std::string* error);

/// Makes every folder flush of this process call `flush` instead of
/// fsync(2) (null: fsync again); tests make a flush fail with it. Call it
/// while no save runs.
void SetFolderFlushForTesting(int (*flush)(int fd));

/// Removes from `folder` the temporaries (of any file) that ReplaceFileContents
/// left behind in processes that no longer run, killed between naming one
/// and renaming it into place.
void RemoveStaleTemporariesIn(const std::string& folder);

}  // namespace zv
