// SPDX-License-Identifier: MIT
// Reading and writing length-prefixed frames on a stream socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xpc/frame_assembler.h"

namespace zv::xpc {

/// Outcome of FrameReader::Next.
enum class FrameStatus {
  kFrame,          // a whole frame was read
  kEndOfStream,    // the peer closed the stream between two frames
  kTruncated,      // the peer closed the stream inside a frame
  kTooLarge,       // a frame announced more than kMaxFrameBytes
  kReadError,      // read(2) or poll(2) failed; see error()
  kFrameTimedOut,  // a frame begun did not arrive whole in time
  kIdleTimedOut,   // no frame began in time
  kOverBudget,     // the frame would take the budget over its limit
};

/// Time limits of a FrameReader, in milliseconds; 0 is no limit.
struct FrameDeadlines {
  int frame_ms = 0;  // from a frame's first byte to its last
  int idle_ms = 0;   // from the start of Next to the first byte of a frame
};

/// Reads frames from a socket it does not own, buffering what the peer has
/// already sent, so that pipelined requests cost one read for many frames.
class FrameReader {
 public:
  /// Reads from `fd`; the caller keeps it open while the reader is used.
  /// Growth of the buffer for large frames draws on `budget` (not owned;
  /// nullptr: no bound).
  explicit FrameReader(int fd, FrameBudget* budget = nullptr, FrameDeadlines deadlines = {});

  /// Waits for the next frame. On kFrame, `*payload` views the payload,
  /// valid until the next call. Never buffers more than one frame's worth
  /// beyond a read chunk, never more than the bytes that have arrived
  /// justify, and never reads the payload of a frame that is too large.
  FrameStatus Next(std::string_view* payload);

  /// Gives back the buffer of the frame Next gave last and hands its
  /// charge on the budget over to the caller (FrameAssembler::HandOverFrame).
  std::size_t HandOverFrame() { return assembler_.HandOverFrame(); }
  /// True when bytes of a further frame are already buffered.
  bool HasBufferedBytes() const { return assembler_.HasBufferedBytes(); }
  /// The length a kTooLarge frame announced.
  std::uint32_t announced_length() const { return assembler_.announced_length(); }
  /// The failing call and errno text after kReadError.
  const std::string& error() const { return error_; }

 private:
  // Waits until the socket is readable or `deadline_ms` (steady clock)
  // passes; false when it passed or poll failed (then error_ is set).
  bool WaitReadable(long long deadline_ms);
  // One read into the assembler's room: bytes read, 0 at the end of the
  // stream, -1 on error (error_ is set).
  long ReadSome(char* where, std::size_t size);

  int fd_;
  FrameAssembler assembler_;
  FrameDeadlines deadlines_;
  std::string error_;
};

/// Writes all of `bytes` to the socket `fd` (retrying after signals and
/// short writes, never raising SIGPIPE). False with a message naming the
/// failing call and the errno text in `*error`.
bool WriteAllBytes(int fd, std::string_view bytes, std::string* error);

/// As WriteAllBytes, but gives up when the peer takes no byte for
/// `stall_ms` milliseconds (negative: waits as long as it takes; 0: writes
/// only what the socket takes at once), and when the socket is shut down
/// for writing meanwhile.
bool WriteAllBytesWithin(int fd, std::string_view bytes, int stall_ms, std::string* error);

/// Writes `payload` as one frame with one write where the socket takes it.
/// The caller keeps `payload` within kMaxFrameBytes. False with a message
/// in `*error` when the write fails.
bool WriteFrame(int fd, std::string_view payload, std::string* error);

}  // namespace zv::xpc
