// SPDX-License-Identifier: MIT
// The replies of the service's byte stream, taken out one at a time as
// their bytes arrive in any pieces. Pure decoding: nothing here reads a
// socket, so an event loop can feed it whatever a non-blocking read gave.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zv {

/// What ReplyBuffer::Take found at the front of the stream.
enum class ReplyFrameStatus {
  kIncomplete,  // the next frame has not arrived whole yet
  kReply,       // a reply; the text is its reply text
  kErrorReply,  // an error reply; the text is the service's message
  kTooLarge,    // a frame announced more than the frame limit; the text says so
  kMalformed,   // a frame that is no reply, or whose text holds a zero
                // byte; the text says why
};

/// Bytes received from the service and not yet taken as replies.
class ReplyBuffer {
 public:
  ReplyBuffer();

  /// Room for more bytes (never none), at least what the frame at the
  /// front still needs; fill some of it, then Commit how many.
  /// `*available` gets the room's size.
  char* Space(std::size_t* available);
  /// Counts `count` bytes written into the last Space as received.
  void Commit(std::size_t count) { end_ += count; }

  /// Takes the next whole frame out of the buffer and decodes it into
  /// `*text` (see ReplyFrameStatus). kTooLarge and kMalformed leave the
  /// stream unusable: the caller drops the connection.
  ReplyFrameStatus Take(std::string* text);

  /// True when bytes of an unfinished frame are buffered.
  bool HasPartialFrame() const { return end_ > begin_; }

 private:
  // The bytes the frame at the front needs in all, once its length is known.
  std::size_t WantedBytes() const;

  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace zv
