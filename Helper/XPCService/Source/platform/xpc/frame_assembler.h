// SPDX-License-Identifier: MIT
// Reassembly of length-prefixed frames from the bytes a stream delivers, in
// whatever pieces they come, with the memory held for unfinished frames
// bounded across all connections. No I/O here: the caller reads into the
// room the assembler offers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace zv::xpc {

/// Bytes that all connections together may hold for unfinished frames and
/// for the requests they are serving, beyond each one's small read buffer.
/// Thread-safe; outlives every assembler and connection that draws on it.
class FrameBudget {
 public:
  explicit FrameBudget(std::size_t limit) : limit_(limit) {}
  /// Takes `bytes` from the budget; false (nothing taken) when that would
  /// exceed the limit.
  bool TryTake(std::size_t bytes);
  /// Gives back `bytes` taken before.
  void Give(std::size_t bytes) { held_.fetch_sub(bytes); }
  /// Bytes taken and not yet given back.
  std::size_t held() const { return held_.load(); }

 private:
  const std::size_t limit_;
  std::atomic<std::size_t> held_{0};
};

/// Buffers one stream's bytes and cuts them into frames. The buffer starts
/// at one read chunk and grows with the bytes of a frame that actually
/// arrive (never to a length a header merely announces); growth beyond the
/// first chunk is drawn from the budget and given back once the frame has
/// been taken and nothing further is buffered, or handed over to the
/// caller with the frame (HandOverFrame). Bytes of frames already taken
/// are wiped before their room is reused or given back: a frame may hold
/// secrets.
class FrameAssembler {
 public:
  /// Bytes of the buffer every assembler has without drawing on a budget.
  static constexpr std::size_t kReadChunkBytes = 64 * 1024;

  enum class Step {
    kNeedBytes,   // no whole frame buffered yet
    kFrame,       // a whole frame was taken
    kTooLarge,    // the next frame announces more than kMaxFrameBytes
  };

  /// Draws on `budget` (not owned; nullptr: no bound); starts with a
  /// buffer of `chunk_bytes` (at least kFrameHeaderBytes; smaller than the
  /// default only to exercise growth with small inputs).
  explicit FrameAssembler(FrameBudget* budget = nullptr, std::size_t chunk_bytes = kReadChunkBytes);
  ~FrameAssembler();
  FrameAssembler(const FrameAssembler&) = delete;
  FrameAssembler& operator=(const FrameAssembler&) = delete;

  /// Takes the next whole frame when one is buffered; on kFrame `*payload`
  /// views it until the next call of Take or Room.
  Step Take(std::string_view* payload);

  /// Room for the next read: the free end of the buffer, which doubles
  /// (within the length of the frame being assembled) once the bytes that
  /// came have filled it. False when the budget or the allocator cannot
  /// cover that growth.
  bool Room(char** where, std::size_t* size);
  /// Records `size` bytes read into the room Room gave.
  void Commit(std::size_t size) { end_ += size; }

  /// Once the caller has copied what it needs of the frame Take gave last:
  /// gives the buffer back down to its first chunk and hands the frame's
  /// charge over to the caller, who holds it for its copy and gives it back
  /// to the budget itself. Returns the bytes handed over; 0, with nothing
  /// changed, when bytes of a further frame are buffered (they keep the
  /// buffer and its charge) or the smaller buffer cannot be had.
  std::size_t HandOverFrame();

  /// True when bytes of a further (unfinished) frame are buffered.
  bool HasBufferedBytes() const { return end_ > begin_; }
  /// The length the last kTooLarge frame announced.
  std::uint32_t announced_length() const { return announced_length_; }
  /// Bytes this assembler holds from the budget.
  std::size_t charged() const { return charged_; }

 private:
  // Length of the frame at begin_ with its header, or 0 while the header
  // is incomplete.
  std::size_t PendingFrameBytes() const;
  // Moves unread bytes to the front of the buffer.
  void Compact();
  // Resizes the buffer to `size` bytes (at least end_), settling the
  // budget; false when the budget or the allocator refuses.
  bool Resize(std::size_t size);

  FrameBudget* budget_;
  const std::size_t chunk_bytes_;
  std::unique_ptr<char[]> buffer_;  // uninitialised beyond end_
  std::size_t size_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::size_t charged_ = 0;
  std::uint32_t announced_length_ = 0;
};

}  // namespace zv::xpc
