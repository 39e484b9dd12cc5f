// Reading and writing length-prefixed frames on a stream socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zv::xpc {

/// Outcome of FrameReader::Next.
enum class FrameStatus {
  kFrame,        // a whole frame was read
  kEndOfStream,  // the peer closed the stream between two frames
  kTruncated,    // the peer closed the stream inside a frame
  kTooLarge,     // a frame announced more than kMaxFrameBytes
  kReadError,    // read(2) failed; see error()
};

/// Reads frames from a socket it does not own, buffering what the peer has
/// already sent, so that pipelined requests cost one read for many frames.
class FrameReader {
 public:
  /// Reads from `fd`; the caller keeps it open while the reader is used.
  explicit FrameReader(int fd);

  /// Waits for the next frame. On kFrame, `*payload` views the payload,
  /// valid until the next call. Never buffers more than one frame's worth
  /// beyond a read chunk, and never reads the payload of a frame that is
  /// too large.
  FrameStatus Next(std::string_view* payload);

  /// True when bytes of a further frame are already buffered.
  bool HasBufferedBytes() const { return end_ > begin_; }
  /// The length a kTooLarge frame announced.
  std::uint32_t announced_length() const { return announced_length_; }
  /// The failing call and errno text after kReadError.
  const std::string& error() const { return error_; }

 private:
  // Reads more bytes; false at end of stream or on error (sets error_).
  bool Fill(std::size_t wanted);

  int fd_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint32_t announced_length_ = 0;
  std::string error_;
};

/// Writes all of `bytes` to the socket `fd` (retrying after signals and
/// short writes, never raising SIGPIPE). False with a message naming the
/// failing call and the errno text in `*error`.
bool WriteAllBytes(int fd, std::string_view bytes, std::string* error);

/// Writes `payload` as one frame with one write where the socket takes it.
/// The caller keeps `payload` within kMaxFrameBytes. False with a message
/// in `*error` when the write fails.
bool WriteFrame(int fd, std::string_view payload, std::string* error);

}  // namespace zv::xpc
