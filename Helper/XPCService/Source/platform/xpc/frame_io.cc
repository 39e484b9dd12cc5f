// SPDX-License-Identifier: MIT
#include "platform/xpc/frame_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/posix_io.h"
#include "platform/xpc/wire_format.h"

namespace zv::xpc {
namespace {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Milliseconds left until `deadline_ms`, as poll(2) takes them.
int MsUntil(long long deadline_ms) {
  return static_cast<int>(std::clamp(deadline_ms - NowMs(), 0LL, 24LL * 3600 * 1000));
}

// WaitFor with the failure told in `*error`.
int PollFor(int fd, short events, int timeout_ms, std::string* error) {
  const int ready = WaitFor(fd, events, timeout_ms);
  if (ready < 0) *error = ErrnoText("poll", errno);
  return ready;
}

}  // namespace

FrameReader::FrameReader(int fd, FrameBudget* budget, FrameDeadlines deadlines)
    : fd_(fd), assembler_(budget), deadlines_(deadlines) {}

FrameStatus FrameReader::Next(std::string_view* payload) {
  const long long started_ms = NowMs();
  // Bytes left over from the last read already began the next frame.
  long long frame_began_ms = started_ms;
  for (;;) {
    switch (assembler_.Take(payload)) {
      case FrameAssembler::Step::kFrame:
        return FrameStatus::kFrame;
      case FrameAssembler::Step::kTooLarge:
        return FrameStatus::kTooLarge;
      case FrameAssembler::Step::kNeedBytes:
        break;
    }
    char* where = nullptr;
    std::size_t room = 0;
    if (!assembler_.Room(&where, &room)) return FrameStatus::kOverBudget;
    const bool in_frame = assembler_.HasBufferedBytes();
    const int limit_ms = in_frame ? deadlines_.frame_ms : deadlines_.idle_ms;
    if (limit_ms > 0 && !WaitReadable((in_frame ? frame_began_ms : started_ms) + limit_ms)) {
      if (!error_.empty()) return FrameStatus::kReadError;
      return in_frame ? FrameStatus::kFrameTimedOut : FrameStatus::kIdleTimedOut;
    }
    const long n = ReadSome(where, room);
    if (n < 0) return FrameStatus::kReadError;
    if (n == 0) return in_frame ? FrameStatus::kTruncated : FrameStatus::kEndOfStream;
    if (!in_frame) frame_began_ms = NowMs();
    assembler_.Commit(static_cast<std::size_t>(n));
  }
}

bool FrameReader::WaitReadable(long long deadline_ms) {
  return PollFor(fd_, POLLIN, MsUntil(deadline_ms), &error_) > 0;
}

long FrameReader::ReadSome(char* where, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, where, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    error_ = ErrnoText("read", errno);
    return -1;
  }
}

bool WriteAllBytes(int fd, std::string_view bytes, std::string* error) {
  return WriteAllBytesWithin(fd, bytes, -1, error);
}

bool WriteAllBytesWithin(int fd, std::string_view bytes, int stall_ms, std::string* error) {
  switch (SendAllBytes(fd, bytes, stall_ms)) {
    case SendOutcome::kSent:
      return true;
    case SendOutcome::kStalled:
      *error = "send: the peer took no bytes for " + std::to_string(stall_ms) + " ms";
      return false;
    case SendOutcome::kFailed:
      break;
  }
  *error = ErrnoText("send", errno);
  return false;
}

bool WriteFrame(int fd, std::string_view payload, std::string* error) {
  std::string frame;
  frame.reserve(kFrameHeaderBytes + payload.size());
  AppendFrame(payload, &frame);
  return WriteAllBytes(fd, frame, error);
}

}  // namespace zv::xpc
