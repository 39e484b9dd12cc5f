// SPDX-License-Identifier: MIT
// ReplyBuffer: replies taken out of the service's byte stream whatever
// pieces it arrives in, and the frames that are no reply.
#include "client/reply_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/xpc/wire_format.h"

namespace {

using zv::ReplyBuffer;
using zv::ReplyFrameStatus;
using zv::xpc::ReplyStatus;

// Puts `count` bytes into `buffer` as the connection does: into the room
// Space offers, then Commit.
void Feed(ReplyBuffer& buffer, const char* bytes, std::size_t count) {
  while (count > 0) {
    std::size_t available = 0;
    char* space = buffer.Space(&available);
    const std::size_t piece = std::min(available, count);
    std::memcpy(space, bytes, piece);
    buffer.Commit(piece);
    bytes += piece;
    count -= piece;
  }
}

std::string Frame(const std::string& payload) {
  std::string frame;
  zv::xpc::AppendFrame(payload, &frame);
  return frame;
}

std::string ReplyFrame(ReplyStatus status, const std::string& text) {
  return Frame(zv::xpc::EncodeReply(status, text));
}

TEST(ReplyBufferTest, RepliesArriveInAnyPieces) {
  const std::string big(200 * 1024, 'b');  // larger than one read chunk
  const std::string stream = ReplyFrame(ReplyStatus::kReply, "TRUE") + ReplyFrame(ReplyStatus::kError, "refused") +
                             ReplyFrame(ReplyStatus::kReply, "") + ReplyFrame(ReplyStatus::kReply, big);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}, stream.size()}) {
    ReplyBuffer buffer;
    std::vector<std::pair<ReplyFrameStatus, std::string>> taken;
    std::string text;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      Feed(buffer, stream.data() + at, std::min(piece, stream.size() - at));
      for (ReplyFrameStatus status; (status = buffer.Take(&text)) != ReplyFrameStatus::kIncomplete;) {
        taken.emplace_back(status, text);
      }
    }
    ASSERT_EQ(taken.size(), 4u) << "pieces of " << piece;
    EXPECT_EQ(taken[0], std::make_pair(ReplyFrameStatus::kReply, std::string("TRUE")));
    EXPECT_EQ(taken[1], std::make_pair(ReplyFrameStatus::kErrorReply, std::string("refused")));
    EXPECT_EQ(taken[2], std::make_pair(ReplyFrameStatus::kReply, std::string()));
    EXPECT_EQ(taken[3], std::make_pair(ReplyFrameStatus::kReply, big));
    EXPECT_FALSE(buffer.HasPartialFrame());
  }
}

TEST(ReplyBufferTest, FramesThatAreNoReply) {
  struct Case {
    std::string bytes;
    ReplyFrameStatus status;
    std::string message;
  };
  const Case cases[] = {
      {std::string("\0\0\0", 3), ReplyFrameStatus::kIncomplete, ""},
      {std::string("\0\0\0\5\0TRU", 8), ReplyFrameStatus::kIncomplete, ""},
      {Frame(""), ReplyFrameStatus::kMalformed, "the service sent no proper reply: malformed reply: empty payload"},
      {Frame("\2x"), ReplyFrameStatus::kMalformed, "the service sent no proper reply: malformed reply: unknown status byte 2"},
      {ReplyFrame(ReplyStatus::kReply, std::string("TR\0UE", 5)), ReplyFrameStatus::kMalformed,
       "the service sent no proper reply: its text holds a zero byte"},
      {ReplyFrame(ReplyStatus::kError, std::string("busy\0", 5)), ReplyFrameStatus::kMalformed,
       "the service sent no proper reply: its text holds a zero byte"},
      {std::string("\1\0\0\1", 4), ReplyFrameStatus::kTooLarge,
       "the service sent a frame of 16777217 bytes, over the limit of 16777216 bytes"},
      {std::string("\xFF\xFF\xFF\xFF", 4), ReplyFrameStatus::kTooLarge,
       "the service sent a frame of 4294967295 bytes, over the limit of 16777216 bytes"},
  };
  for (const Case& c : cases) {
    ReplyBuffer buffer;
    Feed(buffer, c.bytes.data(), c.bytes.size());
    std::string text;
    EXPECT_EQ(buffer.Take(&text), c.status) << c.message;
    if (c.status != ReplyFrameStatus::kIncomplete) {
      EXPECT_EQ(text, c.message);
    }
  }
}

}  // namespace
