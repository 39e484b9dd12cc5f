// SPDX-License-Identifier: MIT
#include "platform/xpc/frame_assembler.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/memory_wipe.h"
#include "platform/xpc/wire_format.h"

namespace zv::xpc {

bool FrameBudget::TryTake(std::size_t bytes) {
  std::size_t held = held_.load();
  do {
    if (held > limit_ || bytes > limit_ - held) return false;
  } while (!held_.compare_exchange_weak(held, held + bytes));
  return true;
}

FrameAssembler::FrameAssembler(FrameBudget* budget, std::size_t chunk_bytes)
    : budget_(budget),
      chunk_bytes_(std::max(chunk_bytes, kFrameHeaderBytes)),
      buffer_(std::make_unique<char[]>(chunk_bytes_)),
      size_(chunk_bytes_) {}

FrameAssembler::~FrameAssembler() {
  WipeBytes(buffer_.get(), end_);
  if (budget_ != nullptr) budget_->Give(charged_);
}

std::size_t FrameAssembler::PendingFrameBytes() const {
  if (end_ - begin_ < kFrameHeaderBytes) return 0;
  return kFrameHeaderBytes +
         DecodeFrameLength(reinterpret_cast<const unsigned char*>(buffer_.get() + begin_));
}

FrameAssembler::Step FrameAssembler::Take(std::string_view* payload) {
  if (begin_ == end_) {
    WipeBytes(buffer_.get(), end_);
    begin_ = end_ = 0;
    // The memory of a large frame goes back once the frame is consumed.
    if (size_ > chunk_bytes_) Resize(chunk_bytes_);
  }
  const std::size_t frame_bytes = PendingFrameBytes();
  if (frame_bytes == 0) return Step::kNeedBytes;
  if (frame_bytes - kFrameHeaderBytes > kMaxFrameBytes) {
    announced_length_ = static_cast<std::uint32_t>(frame_bytes - kFrameHeaderBytes);
    return Step::kTooLarge;
  }
  if (end_ - begin_ < frame_bytes) return Step::kNeedBytes;
  *payload = std::string_view(buffer_.get() + begin_ + kFrameHeaderBytes, frame_bytes - kFrameHeaderBytes);
  begin_ += frame_bytes;
  return Step::kFrame;
}

std::size_t FrameAssembler::HandOverFrame() {
  if (begin_ != end_) return 0;
  WipeBytes(buffer_.get(), end_);
  begin_ = end_ = 0;
  const std::size_t handed = charged_;
  // With nothing charged any more, the shrink gives nothing back itself.
  charged_ = 0;
  if (size_ > chunk_bytes_ && !Resize(chunk_bytes_)) {
    charged_ = handed;
    return 0;
  }
  return handed;
}

void FrameAssembler::Compact() {
  if (begin_ == 0) return;
  std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  WipeBytes(buffer_.get() + end_ - begin_, begin_);
  end_ -= begin_;
  begin_ = 0;
}

bool FrameAssembler::Room(char** where, std::size_t* size) {
  Compact();
  const std::size_t frame_bytes = PendingFrameBytes();
  if (end_ == size_ && frame_bytes > end_ && frame_bytes <= kFrameHeaderBytes + kMaxFrameBytes) {
    // A full buffer doubles, never beyond the frame's own length: what is
    // held stays within twice the bytes that have actually come.
    if (!Resize(std::min(frame_bytes, 2 * size_))) return false;
  }
  *where = buffer_.get() + end_;
  *size = size_ - end_;
  return true;
}

bool FrameAssembler::Resize(std::size_t size) {
  const std::size_t charge = size > chunk_bytes_ ? size - chunk_bytes_ : 0;
  if (budget_ != nullptr && charge > charged_ && !budget_->TryTake(charge - charged_)) return false;
  std::unique_ptr<char[]> resized(new (std::nothrow) char[size]);
  if (!resized) {
    if (budget_ != nullptr && charge > charged_) budget_->Give(charge - charged_);
    return false;
  }
  std::memcpy(resized.get(), buffer_.get(), std::min(end_, size));
  WipeBytes(buffer_.get(), end_);
  buffer_ = std::move(resized);
  size_ = size;
  if (budget_ != nullptr && charge < charged_) budget_->Give(charged_ - charge);
  charged_ = charge;
  return true;
}

}  // namespace zv::xpc
