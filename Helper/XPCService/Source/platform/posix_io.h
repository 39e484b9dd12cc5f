// SPDX-License-Identifier: MIT
// The small POSIX pieces that the service and its client library both
// need: whole writes and sends, error texts from errno, waiting for a descriptor, the
// readability test, the mode of the files the system creates, Unix socket
// addresses and the zero-byte test.
#pragma once

#include <sys/un.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace zv {

/// Permission bits of files the system creates (less the creation mask).
inline constexpr unsigned kCreatedFileMode = 0664;

/// "call: <strerror(err)>".
std::string ErrnoText(std::string_view call, int err);

/// "call(path): <strerror(err)>".
std::string ErrnoText(std::string_view call, std::string_view path, int err);

/// Writes the whole of `data` to `fd`, finishing short writes and retrying
/// after signals. False with errno set (EIO when a write took no bytes).
bool WriteAll(int fd, std::string_view data);

/// Outcome of SendAllBytes.
enum class SendOutcome {
  kSent,     // every byte went out
  kStalled,  // the socket stayed full for the whole wait
  kFailed,   // a send (or the wait for room) failed; errno tells why
};

/// Sends the whole of `bytes` on the socket `fd`, finishing short sends,
/// retrying after signals and never raising SIGPIPE. Without
/// `room_wait_ms` the sends block; with it they do not, and whenever the
/// socket is full the wait for room lasts at most `room_wait_ms()`
/// milliseconds (asked anew for each wait). When `sent` is not null it
/// gets the number of bytes that went out, whatever the outcome.
SendOutcome SendAllBytes(int fd, std::string_view bytes, const std::function<int()>& room_wait_ms,
                         std::size_t* sent = nullptr);

/// Waits up to `timeout_ms` (-1: no limit) for `events` on `fd`, retrying
/// after signals within the same limit: 1 when ready, 0 when the time
/// passed, -1 with errno set.
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
