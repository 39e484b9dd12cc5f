// SPDX-License-Identifier: MIT
// The wire format: request and reply payloads, and frames read from a
// real socket in pieces, pipelined, cut short or too large.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"

namespace {

using zv::xpc::DecodeRequest;
using zv::xpc::FrameReader;
using zv::xpc::FrameStatus;
using zv::xpc::RequestView;

std::string Frame(std::string_view payload) {
  std::string frame;
  zv::xpc::AppendFrame(payload, &frame);
  return frame;
}

// A connected pair of stream sockets, closed at the end.
class SocketPair {
 public:
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  ~SocketPair() {
    CloseWriter();
    ::close(fds_[0]);
  }
  int reader() const { return fds_[0]; }
  int writer() const { return fds_[1]; }
  void Write(std::string_view bytes) {
    std::string error;
    ASSERT_TRUE(zv::xpc::WriteAllBytes(fds_[1], bytes, &error)) << error;
  }
  void CloseWriter() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(WireFormatTest, FrameLengthIsBigEndian) {
  EXPECT_EQ(Frame("abc"), std::string("\0\0\0\3abc", 7));
  unsigned char bytes[4];
  zv::xpc::EncodeFrameLength(0x01020304u, bytes);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[3], 4);
  EXPECT_EQ(zv::xpc::DecodeFrameLength(bytes), 0x01020304u);
}

TEST(WireFormatTest, RequestsRoundTrip) {
  const std::string with_text = zv::xpc::EncodeRequest("mibwalk_XPC:reply:", std::string_view("M:ModelName:END"));
  EXPECT_EQ(with_text, std::string("mibwalk_XPC:reply:\0\1M:ModelName:END", 35));
  RequestView request;
  std::string error;
  ASSERT_TRUE(DecodeRequest(with_text, &request, &error)) << error;
  EXPECT_EQ(request.operation, "mibwalk_XPC:reply:");
  EXPECT_EQ(request.text, "M:ModelName:END");

  const std::string without_text = zv::xpc::EncodeRequest("op", std::nullopt);
  ASSERT_TRUE(DecodeRequest(without_text, &request, &error));
  EXPECT_EQ(request.operation, "op");
  EXPECT_FALSE(request.text.has_value());

  const std::string empty_text = zv::xpc::EncodeRequest("op", std::string_view());
  ASSERT_TRUE(DecodeRequest(empty_text, &request, &error));
  EXPECT_EQ(request.text, "");
  // A zero byte is a character like any other inside the text.
  const std::string zero_inside("op\0\1a\0b", 7);
  ASSERT_TRUE(DecodeRequest(zero_inside, &request, &error));
  EXPECT_EQ(request.text, std::string("a\0b", 3));
}

TEST(WireFormatTest, MalformedRequestsAreRefusedWithAReason) {
  const struct {
    std::string payload;
    std::string message;
  } cases[] = {
      {"", "malformed request: no zero byte after the operation name"},
      {"op", "malformed request: no zero byte after the operation name"},
      {std::string("\0\1x", 3), "malformed request: empty operation name"},
      {std::string("op\0", 3), "malformed request: no presence byte"},
      {std::string("op\0\2x", 5), "malformed request: presence byte 2 is neither 0 nor 1"},
      {std::string("op\0\0x", 5), "malformed request: text after presence byte 0"},
      {std::string("op\0\1\xC3", 5), "request text is not valid UTF-8"},
      {std::string("op\0\1\xED\xA0\x80", 7), "request text is not valid UTF-8"},
  };
  for (const auto& c : cases) {
    RequestView request;
    std::string error;
    EXPECT_FALSE(DecodeRequest(c.payload, &request, &error));
    EXPECT_EQ(error, c.message);
  }
}

TEST(WireFormatTest, RepliesRoundTrip) {
  zv::xpc::ReplyStatus status;
  std::string_view text;
  std::string error;
  const std::string reply = zv::xpc::EncodeReply(zv::xpc::ReplyStatus::kReply, "TRUE");
  EXPECT_EQ(reply, std::string("\0TRUE", 5));
  ASSERT_TRUE(zv::xpc::DecodeReply(reply, &status, &text, &error));
  EXPECT_EQ(status, zv::xpc::ReplyStatus::kReply);
  EXPECT_EQ(text, "TRUE");
  const std::string refusal("\1bad", 4);
  ASSERT_TRUE(zv::xpc::DecodeReply(refusal, &status, &text, &error));
  EXPECT_EQ(status, zv::xpc::ReplyStatus::kError);
  EXPECT_EQ(text, "bad");
  std::string frame;
  zv::xpc::AppendReplyFrame(zv::xpc::ReplyStatus::kError, "bad", &frame);
  EXPECT_EQ(frame, Frame(refusal));
  EXPECT_FALSE(zv::xpc::DecodeReply("", &status, &text, &error));
  EXPECT_FALSE(zv::xpc::DecodeReply(std::string("\2x", 2), &status, &text, &error));
}

TEST(WireFormatTest, QuotedTextStaysOnOneShortLine) {
  EXPECT_EQ(zv::xpc::QuoteForMessage("plain op"), "plain op");
  EXPECT_EQ(zv::xpc::QuoteForMessage("a\nb\x01\xC3\xA9"), "a?b???");
  const std::string quoted = zv::xpc::QuoteForMessage(std::string(100, 'x'));
  EXPECT_EQ(quoted, std::string(zv::xpc::kMaxQuotedBytes, 'x') + "...");
}

TEST(FrameReaderTest, ReadsPipelinedFramesAndTheEnd) {
  SocketPair pair;
  pair.Write(Frame("one") + Frame("") + Frame(std::string(100000, 'z')));
  pair.CloseWriter();
  FrameReader reader(pair.reader());
  std::string_view payload;
  ASSERT_EQ(reader.Next(&payload), FrameStatus::kFrame);
  EXPECT_EQ(payload, "one");
  EXPECT_TRUE(reader.HasBufferedBytes());
  ASSERT_EQ(reader.Next(&payload), FrameStatus::kFrame);
  EXPECT_EQ(payload, "");
  ASSERT_EQ(reader.Next(&payload), FrameStatus::kFrame);
  EXPECT_EQ(payload, std::string(100000, 'z'));
  EXPECT_EQ(reader.Next(&payload), FrameStatus::kEndOfStream);
}

TEST(FrameReaderTest, ReassemblesFramesSentByteByByte) {
  SocketPair pair;
  const std::string bytes = Frame("first frame") + Frame("second");
  std::thread writer([&pair, &bytes] {
    for (const char c : bytes) {
      std::string error;
      zv::xpc::WriteAllBytes(pair.writer(), std::string_view(&c, 1), &error);
      std::this_thread::yield();
    }
  });
  FrameReader reader(pair.reader());
  std::string_view payload;
  ASSERT_EQ(reader.Next(&payload), FrameStatus::kFrame);
  EXPECT_EQ(payload, "first frame");
  ASSERT_EQ(reader.Next(&payload), FrameStatus::kFrame);
  EXPECT_EQ(payload, "second");
  writer.join();
}

TEST(FrameReaderTest, StreamCutInsideAFrameIsTruncated) {
  const std::string frame = Frame("payload");
  for (std::size_t cut = 1; cut < frame.size(); ++cut) {
    SocketPair pair;
    pair.Write(frame.substr(0, cut));
    pair.CloseWriter();
    FrameReader reader(pair.reader());
    std::string_view payload;
    EXPECT_EQ(reader.Next(&payload), FrameStatus::kTruncated) << "cut at " << cut;
  }
}

TEST(FrameReaderTest, LengthOverTheLimitIsRefusedUnread) {
  SocketPair pair;
  unsigned char header[4];
  zv::xpc::EncodeFrameLength(static_cast<std::uint32_t>(zv::xpc::kMaxFrameBytes + 1), header);
  pair.Write(std::string_view(reinterpret_cast<const char*>(header), 4));
  FrameReader reader(pair.reader());
  std::string_view payload;
  EXPECT_EQ(reader.Next(&payload), FrameStatus::kTooLarge);
  EXPECT_EQ(reader.announced_length(), zv::xpc::kMaxFrameBytes + 1);
}

TEST(FrameReaderTest, FrameAtTheLimitIsRead) {
  SocketPair pair;
  const std::string big(zv::xpc::kMaxFrameBytes, 'q');
  std::thread writer([&pair, &big] { pair.Write(Frame(big)); });
  FrameReader reader(pair.reader());
  std::string_view payload;
  ASSERT_EQ(reader.Next(&payload), FrameStatus::kFrame);
  EXPECT_EQ(payload.size(), zv::xpc::kMaxFrameBytes);
  EXPECT_EQ(payload.find_first_not_of('q'), std::string_view::npos);
  writer.join();
}

// Delivers bytes [*delivered, until) of `stream` to `assembler` in the
// pieces it makes room for; false when it refuses room.
bool Deliver(zv::xpc::FrameAssembler& assembler, std::string_view stream, std::size_t until,
             std::size_t* delivered) {
  while (*delivered < until) {
    char* where = nullptr;
    std::size_t room = 0;
    if (!assembler.Room(&where, &room)) return false;
    room = std::min(room, until - *delivered);
    std::memcpy(where, stream.data() + *delivered, room);
    assembler.Commit(room);
    *delivered += room;
  }
  return true;
}

TEST(FrameAssemblerTest, BufferGrowsWithTheBytesThatArriveWithinTheBudget) {
  constexpr std::size_t kMiB = 1024 * 1024;
  zv::xpc::FrameBudget budget(3 * kMiB);
  const std::string stream = Frame(std::string(zv::xpc::kMaxFrameBytes, 'p'));
  const struct {
    std::size_t arrived;    // bytes of the frame delivered so far
    std::size_t most_held;  // the budget holds no more than this
  } steps[] = {
      {4, 0},
      {4 + 1000, 0},
      {256 * 1024, 512 * 1024},
      {kMiB, 2 * kMiB},
  };
  std::size_t delivered = 0;
  {
    zv::xpc::FrameAssembler assembler(&budget);
    for (const auto& step : steps) {
      ASSERT_TRUE(Deliver(assembler, stream, step.arrived, &delivered)) << step.arrived;
      EXPECT_LE(budget.held(), step.most_held) << step.arrived;
      EXPECT_EQ(assembler.charged(), budget.held());
    }
    // The budget runs out long before the 16 MiB the header announced.
    EXPECT_FALSE(Deliver(assembler, stream, stream.size(), &delivered));
    EXPECT_LT(delivered, 3 * kMiB);
    EXPECT_LE(budget.held(), 3 * kMiB);
  }
  EXPECT_EQ(budget.held(), 0u);
}

TEST(FrameAssemblerTest, TakenFrameHandsItsChargeToTheCaller) {
  zv::xpc::FrameBudget budget(4 * 1024 * 1024);
  const std::string big = Frame(std::string(1024 * 1024, 'p'));
  const struct {
    const char* name;
    std::string after;  // what has come after the large frame
    bool handed;        // whether the charge moves to the caller
  } cases[] = {
      {"nothing", "", true},
      {"the next frame begun", Frame("next").substr(0, 3), false},
  };
  for (const auto& c : cases) {
    zv::xpc::FrameAssembler assembler(&budget);
    std::size_t delivered = 0;
    ASSERT_TRUE(Deliver(assembler, big, big.size(), &delivered)) << c.name;
    std::string_view payload;
    ASSERT_EQ(assembler.Take(&payload), zv::xpc::FrameAssembler::Step::kFrame) << c.name;
    delivered = 0;
    ASSERT_TRUE(Deliver(assembler, c.after, c.after.size(), &delivered)) << c.name;
    const std::size_t charged = assembler.charged();
    ASSERT_GT(charged, 0u) << c.name;
    const std::size_t handed = assembler.HandOverFrame();
    // The budget still holds the frame's bytes, now for the caller.
    EXPECT_EQ(handed, c.handed ? charged : 0u) << c.name;
    EXPECT_EQ(assembler.charged(), charged - handed) << c.name;
    EXPECT_EQ(budget.held(), charged) << c.name;
    budget.Give(handed);
  }
  EXPECT_EQ(budget.held(), 0u);
}

TEST(FrameReaderTest, TimeLimitsEndAFrameBegunAndAnIdleWait) {
  const struct {
    const char* name;
    std::string bytes;
    FrameStatus status;
  } cases[] = {
      {"nothing arrives", "", FrameStatus::kIdleTimedOut},
      {"half a header", Frame("abc").substr(0, 2), FrameStatus::kFrameTimedOut},
      {"half a payload", Frame("abcdef").substr(0, 7), FrameStatus::kFrameTimedOut},
  };
  for (const auto& c : cases) {
    SocketPair pair;
    pair.Write(c.bytes);
    FrameReader reader(pair.reader(), nullptr, {100, 150});
    std::string_view payload;
    EXPECT_EQ(reader.Next(&payload), c.status) << c.name;
  }
}

}  // namespace
