// SPDX-License-Identifier: MIT
// Crash-safe replacement of a file's whole content.
#pragma once

#include <string>
#include <string_view>

namespace zv {

/// Name ending of the temporaries that ReplaceFileContents links in beside
/// the file it replaces.
inline constexpr char kTemporarySuffix[] = ".tmp";

/// Replaces the whole content of `path` with `data` so that readers see
/// either the old or the new content, never a torn file. A symbolic link
/// at `path` stays one: its target (followed to the end of the chain) is
/// the file replaced. The content goes to an unnamed file in the target's
/// folder (created with permission bits 0664 less the file-creation mask),
/// is flushed to disk, and only then gets a name that is renamed over the
/// target, so a crash leaves no half-written temporary; where the file
/// system has no unnamed files, a named temporary takes its place.
/// Temporaries of the same file left by processes that no longer run are
/// removed first. An existing file keeps its permission bits (and, where
/// the process may set it, its owner). When the folder refuses the new
/// file but the target exists and is writable, falls back to rewriting it
/// in place (not crash-safe). Returns false with a message in `*error`
/// (naming the failing call and the errno text) when the content could not
/// be stored; the target then keeps its old content, except after a failed
/// in-place fallback.
bool ReplaceFileContents(const std::string& path, std::string_view data, std::string* error);

/// Removes from `folder` the temporaries (of any file) that ReplaceFileContents
/// left behind in processes that no longer run, killed between naming one
/// and renaming it into place.
void RemoveStaleTemporariesIn(const std::string& folder);

}  // namespace zv
