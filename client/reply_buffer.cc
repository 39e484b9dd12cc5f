// SPDX-License-Identifier: MIT
#include "client/reply_buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/posix_io.h"
#include "platform/xpc/wire_format.h"

namespace zv {
namespace {

// Bytes offered per read while no larger frame is pending.
constexpr std::size_t kChunkBytes = 64 * 1024;
// The least room offered for one read.
constexpr std::size_t kMinReadBytes = 4096;

}  // namespace

ReplyBuffer::ReplyBuffer() : buffer_(kChunkBytes) {}

std::size_t ReplyBuffer::WantedBytes() const {
  const std::size_t buffered = end_ - begin_;
  if (buffered < xpc::kFrameHeaderBytes) return kChunkBytes;
  const std::uint32_t length = xpc::DecodeFrameLength(reinterpret_cast<const unsigned char*>(&buffer_[begin_]));
  // A frame over the limit is refused by Take before its payload is read.
  if (length > xpc::kMaxFrameBytes) return kChunkBytes;
  return std::max(kChunkBytes, xpc::kFrameHeaderBytes + length);
}

char* ReplyBuffer::Space(std::size_t* available) {
  if (begin_ == end_) {
    begin_ = end_ = 0;
    // Give back the memory of a large reply once it has been taken.
    if (buffer_.size() > kChunkBytes) std::vector<char>(kChunkBytes).swap(buffer_);
  }
  // What the buffer should hold from begin_: the whole frame at the front,
  // and always room for one more read.
  const std::size_t wanted = std::max(WantedBytes(), end_ - begin_ + kMinReadBytes);
  if (buffer_.size() - begin_ < wanted) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (buffer_.size() < wanted) buffer_.resize(wanted);
  }
  *available = buffer_.size() - end_;
  return buffer_.data() + end_;
}

ReplyFrameStatus ReplyBuffer::Take(std::string* text) {
  const std::size_t buffered = end_ - begin_;
  if (buffered < xpc::kFrameHeaderBytes) return ReplyFrameStatus::kIncomplete;
  const std::uint32_t length = xpc::DecodeFrameLength(reinterpret_cast<const unsigned char*>(&buffer_[begin_]));
  if (length > xpc::kMaxFrameBytes) {
    *text = "the service sent a frame of " + std::to_string(length) + " bytes, over the limit of " +
            std::to_string(xpc::kMaxFrameBytes) + " bytes";
    return ReplyFrameStatus::kTooLarge;
  }
  if (buffered < xpc::kFrameHeaderBytes + length) return ReplyFrameStatus::kIncomplete;
  const std::string_view payload(&buffer_[begin_ + xpc::kFrameHeaderBytes], length);
  begin_ += xpc::kFrameHeaderBytes + length;
  xpc::ReplyStatus status;
  std::string_view reply;
  std::string error;
  if (!xpc::DecodeReply(payload, &status, &reply, &error)) {
    *text = "the service sent no proper reply: " + error;
    return ReplyFrameStatus::kMalformed;
  }
  // The C interface hands texts on as C strings, which would end early.
  if (HoldsZeroByte(reply)) {
    *text = "the service sent no proper reply: its text holds a zero byte";
    return ReplyFrameStatus::kMalformed;
  }
  text->assign(reply);
  return status == xpc::ReplyStatus::kReply ? ReplyFrameStatus::kReply : ReplyFrameStatus::kErrorReply;
}

}  // namespace zv
