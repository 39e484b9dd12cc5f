// SPDX-License-Identifier: MIT
// RequestQueue: the bound on what a client holds unwritten, and bytes that
// leave in any pieces, in order.
#include "client/request_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zv::RequestQueue;

constexpr std::size_t kBound = RequestQueue::kMaxQueuedBytes;

TEST(RequestQueueTest, HoldsOneFrameOfTheLargestSizeAndNoMore) {
  static_assert(kBound == zv::xpc::kFrameHeaderBytes + zv::xpc::kMaxFrameBytes);
  const struct {
    const char* name;
    std::size_t queued;  // bytes already unwritten
    std::size_t frame;   // bytes of the new frame
    bool fits;
  } cases[] = {
      {"largest frame into an empty queue", 0, kBound, true},
      {"one byte over the bound", 0, kBound + 1, false},
      {"filling the queue to the byte", 1000, kBound - 1000, true},
      {"one byte too many behind others", 1000, kBound - 999, false},
      {"any frame into a full queue", kBound, 1, false},
  };
  for (const auto& c : cases) {
    RequestQueue queue;
    if (c.queued > 0) queue.Push(std::string(c.queued, 'q'));
    EXPECT_EQ(queue.Fits(c.frame), c.fits) << c.name;
  }
}

TEST(RequestQueueTest, BytesLeaveInOrderWhateverThePiecesAndRoomComesBack) {
  RequestQueue queue;
  EXPECT_TRUE(queue.empty());
  queue.Push("first;");
  queue.Push("second;");
  std::string written;
  for (const std::size_t piece : {3, 1, 5}) {
    written += queue.Unwritten().substr(0, piece);
    queue.Consume(piece);
  }
  // A frame pushed after a partial write goes behind what is left.
  queue.Push("third");
  EXPECT_EQ(queue.size(), 4u + 5u);
  written += queue.Unwritten();
  queue.Consume(queue.size());
  EXPECT_EQ(written, "first;second;third");
  EXPECT_TRUE(queue.empty());
  EXPECT_TRUE(queue.Fits(kBound));

  queue.Push(std::string(kBound, 'x'));
  EXPECT_FALSE(queue.Fits(1));
  queue.Consume(kBound / 2);
  EXPECT_TRUE(queue.Fits(kBound / 2));
  queue.Clear();
  EXPECT_TRUE(queue.empty());
  EXPECT_EQ(queue.Unwritten(), "");
}

}  // namespace
