// SPDX-License-Identifier: MIT
// Reading a regular file whole, within a bound, without blocking on pipes
// or devices; checking a file's text without holding it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/file_identity.h"

namespace zv {

/// Largest file that a whole-file read accepts (64 MiB): a profile list or
/// the pieces of a file written in parts are far smaller; a bigger (or
/// sparse) file is refused before anything is reserved for it.
constexpr std::size_t kMaxWholeFileBytes = std::size_t{64} << 20;

/// Opens `path` for reading when it names a regular file (following
/// symbolic links); returns the descriptor (close-on-exec), or -1 with errno
/// set. A FIFO, device or directory is refused (EINVAL, EISDIR) without
/// blocking, so that no request can hang on a pipe nobody writes to or read
/// an endless device.
int OpenRegularFileForReading(const char* path);

/// Reads the whole content of the regular file `path` into `*data`. False
/// with a message in `*error` when the file cannot be opened or read, or
/// when it holds more than kMaxWholeFileBytes (EFBIG). When `opened` is
/// given, it gets the identity of the file once it is open, whether its
/// read then succeeds or not (it stays untouched when the open fails).
bool ReadWholeFile(const std::string& path, std::string* data, std::string* error,
                   std::optional<FileIdentity>* opened = nullptr);

/// Bytes one read of CheckUtf8File takes.
constexpr std::size_t kFileChunkBytes = 64 * 1024;

/// Outcome of CheckUtf8File.
enum class Utf8FileCheck {
  kValid,       // the whole file is well-formed UTF-8 (an empty one too)
  kInvalid,     // it is not (a character cut off by the end counts as malformed)
  kReadFailed,  // a read failed; errno tells why
};

/// Checks the file open for reading at `fd` from its first byte to its end
/// as IsValidUtf8 checks a text, reading it in chunks of kFileChunkBytes so
/// that the memory used does not grow with the file. Leaves the file
/// position alone.
Utf8FileCheck CheckUtf8File(int fd);

}  // namespace zv
