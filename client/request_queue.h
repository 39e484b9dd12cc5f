// SPDX-License-Identifier: MIT
// The requests a client has framed for the service's socket and not yet
// written, in order and bounded, so that sending never waits for the
// service to read. Pure bookkeeping: the connection writes the bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/xpc/wire_format.h"

namespace zv {

/// Framed requests not yet written to the socket.
class RequestQueue {
 public:
  /// Most bytes queued at once: one frame of the largest payload, so that
  /// an empty queue takes any request the service would take.
  static constexpr std::size_t kMaxQueuedBytes = xpc::kFrameHeaderBytes + xpc::kMaxFrameBytes;

  /// True when a frame of `frame_bytes` fits beside the bytes still queued.
  bool Fits(std::size_t frame_bytes) const { return frame_bytes <= kMaxQueuedBytes - size(); }
  /// Queues `frame` behind the others; the caller checked Fits.
  void Push(std::string_view frame);

  /// The bytes not yet written, oldest first.
  std::string_view Unwritten() const { return std::string_view(bytes_).substr(begin_); }
  /// Counts the first `count` bytes of Unwritten() as written.
  void Consume(std::size_t count);
  /// Drops every byte not yet written.
  void Clear();

  bool empty() const { return begin_ == bytes_.size(); }
  /// Bytes not yet written.
  std::size_t size() const { return bytes_.size() - begin_; }

 private:
  std::string bytes_;
  std::size_t begin_ = 0;  // bytes_ before this offset are written
};

}  // namespace zv
