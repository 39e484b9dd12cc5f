// SPDX-License-Identifier: MIT
#include "client/request_queue.h"

namespace zv {
namespace {

// A buffer up to this size is kept for the next requests once written.
constexpr std::size_t kKeptBytes = 64 * 1024;

}  // namespace

void RequestQueue::Push(std::string_view frame) {
  // The written head goes before the buffer grows.
  bytes_.erase(0, begin_);
  begin_ = 0;
  bytes_.append(frame);
}

void RequestQueue::Consume(std::size_t count) {
  begin_ += count;
  if (empty()) Clear();
}

void RequestQueue::Clear() {
  begin_ = 0;
  bytes_.clear();
  // Give back the memory of a large request.
  if (bytes_.capacity() > kKeptBytes) std::string().swap(bytes_);
}

}  // namespace zv
