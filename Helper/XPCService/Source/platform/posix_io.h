// SPDX-License-Identifier: MIT
// The small POSIX pieces that the service and its client library both
// need: whole writes and sends, error texts from errno, waiting for a
// descriptor by a deadline, the readability test, the mode of the files the system creates, Unix socket
// addresses and the zero-byte test.
#pragma once

#include <sys/un.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/deadline.h"

namespace zv {

/// Permission bits of files the system creates (less the creation mask).
inline constexpr unsigned kCreatedFileMode = 0664;

/// The text that names the error number `err` ("No such file or
/// directory"; "Unknown error N" for a number the C library does not
/// know). Safe in threads, unlike strerror, whose buffer they share; errno
/// is left as it was.
std::string ErrorText(int err);

/// "call: <ErrorText(err)>". Leaves errno as it was.
std::string ErrnoText(std::string_view call, int err);

/// "call(path): <ErrorText(err)>". Leaves errno as it was.
std::string ErrnoText(std::string_view call, std::string_view path, int err);

/// Writes the whole of `data` to `fd`, finishing short writes and retrying
/// after signals. False with errno set (EIO when a write took no bytes).
bool WriteAll(int fd, std::string_view data);

/// Sends what the socket `fd` takes of `bytes` now, without waiting,
/// finishing short sends, retrying after signals and never raising
/// SIGPIPE: the number of bytes sent (0 when the socket is full), or -1
/// with errno set when the first send fails (a failure after some bytes
/// went out is left for the next call to report).
long SendWithoutWaiting(int fd, std::string_view bytes);

/// Outcome of SendAllBytes.
enum class SendOutcome {
  kSent,     // every byte went out
  kStalled,  // the socket stayed full for the whole wait
  kFailed,   // a send (or the wait for room) failed; errno tells why
};

/// Sends the whole of `bytes` on the socket `fd` as SendWithoutWaiting
/// does, waiting for room whenever the socket is full: each wait lasts at
/// most `stall_ms` milliseconds (negative: as long as it takes; 0: only
/// what the socket takes at once).
SendOutcome SendAllBytes(int fd, std::string_view bytes, int stall_ms);

/// Waits until `deadline` for `events` on `fd`, retrying after signals
/// within the same deadline: 1 when ready, 0 when the deadline passed, -1
/// with errno set.
int WaitUntil(int fd, short events, Deadline deadline);

/// WaitUntil `timeout_ms` from now (-1: no limit).
int WaitFor(int fd, short events, int timeout_ms);

/// True when `path` can be opened for reading. The open does not block, so
/// a FIFO without a writer cannot hold the caller.
bool CanOpenForReading(const char* path);

/// True when `text` holds a zero byte.
bool HoldsZeroByte(std::string_view text);

/// Fills `*address` with the Unix socket address of `path`. False with
/// errno EINVAL for an empty path, ENAMETOOLONG for one that does not fit
/// with its terminator.
bool MakeUnixAddress(std::string_view path, sockaddr_un* address);

}  // namespace zv
