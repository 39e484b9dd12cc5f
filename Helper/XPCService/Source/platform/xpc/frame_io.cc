#include "platform/xpc/frame_io.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/xpc/wire_format.h"

namespace zv::xpc {
namespace {

// Bytes asked of the socket per read while no larger frame is pending.
constexpr std::size_t kReadChunkBytes = 64 * 1024;

}  // namespace

FrameReader::FrameReader(int fd) : fd_(fd), buffer_(kReadChunkBytes) {}

bool FrameReader::Fill(std::size_t wanted) {
  // Move the unread bytes to the front, then make room for the frame.
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() < wanted) buffer_.resize(wanted);
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (n > 0) {
      end_ += static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    error_ = std::string("read: ") + std::strerror(errno);
    return false;
  }
}

FrameStatus FrameReader::Next(std::string_view* payload) {
  // Give back the memory of a large frame once it has been consumed.
  if (begin_ == end_ && buffer_.size() > kReadChunkBytes) {
    std::vector<char>(kReadChunkBytes).swap(buffer_);
    begin_ = end_ = 0;
  }
  while (end_ - begin_ < kFrameHeaderBytes) {
    const bool had_bytes = end_ > begin_;
    if (!Fill(kFrameHeaderBytes)) {
      if (!error_.empty()) return FrameStatus::kReadError;
      return had_bytes || end_ > begin_ ? FrameStatus::kTruncated : FrameStatus::kEndOfStream;
    }
  }
  const std::uint32_t length =
      DecodeFrameLength(reinterpret_cast<const unsigned char*>(buffer_.data() + begin_));
  if (length > kMaxFrameBytes) {
    announced_length_ = length;
    return FrameStatus::kTooLarge;
  }
  const std::size_t frame_bytes = kFrameHeaderBytes + length;
  while (end_ - begin_ < frame_bytes) {
    if (!Fill(frame_bytes)) return error_.empty() ? FrameStatus::kTruncated : FrameStatus::kReadError;
  }
  *payload = std::string_view(buffer_.data() + begin_ + kFrameHeaderBytes, length);
  begin_ += frame_bytes;
  return FrameStatus::kFrame;
}

bool WriteAllBytes(int fd, std::string_view bytes, std::string* error) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::string("send: ") + std::strerror(errno);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteFrame(int fd, std::string_view payload, std::string* error) {
  std::string frame;
  frame.reserve(kFrameHeaderBytes + payload.size());
  AppendFrame(payload, &frame);
  return WriteAllBytes(fd, frame, error);
}

}  // namespace zv::xpc
