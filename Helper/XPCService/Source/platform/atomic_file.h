// Crash-safe replacement of a file's whole content.
#pragma once

#include <string>
#include <string_view>

namespace zv {

/// Replaces the whole content of `path` with `data` so that readers see
/// either the old or the new content, never a torn file: writes a temporary
/// file in the same directory (created with permission bits 0664 less the
/// file-creation mask), flushes it to disk and renames it over `path`. An
/// existing file keeps its permission bits (and, where the process may set
/// it, its owner). When the directory refuses the temporary file but `path`
/// exists and is writable, falls back to rewriting `path` in place.
/// Returns false with a message in `*error` (naming the failing call and
/// the errno text) when the content could not be stored; `path` then keeps
/// its old content, except after a failed in-place fallback.
bool ReplaceFileContents(const std::string& path, std::string_view data, std::string* error);

/// Opens `path` for reading when it names a regular file (following
/// symbolic links); returns the descriptor (close-on-exec), or -1 with errno
/// set. A FIFO, device or directory is refused (EINVAL, EISDIR) without
/// blocking, so that no request can hang on a pipe nobody writes to or read
/// an endless device.
int OpenRegularFileForReading(const char* path);

/// Reads the whole content of the regular file `path` into `*data`. False with a message in
/// `*error` when the file cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string* data, std::string* error);

}  // namespace zv
