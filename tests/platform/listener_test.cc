// SPDX-License-Identifier: MIT
// The listener and its connections with a stand-in protocol: what a stop
// does to an operation in progress, and how connections that trickle,
// idle or ask for too much memory are ended while others are served.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix_io.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/interface.h"
#include "platform/xpc/listener.h"
#include "platform/xpc/wire_format.h"
#include "support/frame_replies.h"
#include "support/temp_dir.h"

namespace {

using zvtest::NextReply;
using zv::xpc::Request;
using zv::xpc::Reply;

// How long the test waits for a reply, for a write to be taken, for an
// operation to begin or for the listener to stop: far beyond every
// deadline under test, so that only a fault reaches it, and then as a
// failure instead of a hang.
constexpr int kPatienceMs = 30000;
constexpr std::chrono::milliseconds kPatience{kPatienceMs};

// Raised when the listener begins to stop; an operation may hold until
// then, and the test may wait until one does.
class StopFlag {
 public:
  void Raise() {
    std::lock_guard<std::mutex> lock(mutex_);
    raised_ = true;
    changed_.notify_all();
  }
  void HoldUntilRaised() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++holding_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return raised_; });
  }
  // Waits until `count` operations hold, at most kPatience; false when
  // they did not.
  bool AwaitHolding(int count = 1) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPatience, [this, count] { return holding_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool raised_ = false;
  int holding_ = 0;
};

StopFlag* g_stop_flag = nullptr;

// "length": replies with the length of its text. "hold": waits until the
// stop begins and returns without a reply, as an abandoned walk does.
class StandInProtocol {
 public:
  void Length(const Request& request, const Reply& reply) {
    reply(std::to_string(request ? request->size() : 0));
  }
  void Hold(const Request&, const Reply&) { g_stop_flag->HoldUntilRaised(); }

  static constexpr std::array<zv::xpc::Operation<StandInProtocol>, 2> kOperations{{
      {"length:reply:", &StandInProtocol::Length},
      {"hold:reply:", &StandInProtocol::Hold},
  }};
};

class StandInDelegate : public zv::xpc::ListenerDelegate {
 public:
  bool listenerShouldAcceptNewConnection(zv::xpc::Listener&, zv::xpc::Connection& connection) override {
    connection.SetExportedObject<StandInProtocol>(std::make_shared<StandInProtocol>());
    return connection.Resume();
  }
};

std::string Frame(std::string_view payload) {
  std::string frame;
  zv::xpc::AppendFrame(payload, &frame);
  return frame;
}

std::string Header(std::uint32_t length) {
  unsigned char header[zv::xpc::kFrameHeaderBytes];
  zv::xpc::EncodeFrameLength(length, header);
  return std::string(reinterpret_cast<const char*>(header), sizeof header);
}

// A listener with short limits serving on its own thread, stopped by a
// real SIGTERM (blocked in every thread, so it waits for the listener).
class ListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(zv::xpc::BlockStopSignals(&error)) << error;
    g_stop_flag = &stop_flag_;
  }
  void TearDown() override {
    if (server_.joinable()) Stop();
    g_stop_flag = nullptr;
  }

  // Options that bind in the test's folder and raise the stop flag.
  zv::xpc::ListenerOptions Options() {
    zv::xpc::ListenerOptions options;
    options.socket_path = dir_.File("s.sock");
    options.on_stop = [this] { stop_flag_.Raise(); };
    return options;
  }
  void Start(const zv::xpc::ListenerOptions& options) {
    std::string error;
    listener_ = zv::xpc::Listener::ServiceListener(options, &error);
    ASSERT_NE(listener_, nullptr) << error;
    listener_->SetDelegate(&delegate_);
    server_ = std::thread([this] {
      resumed_ = listener_->Resume(&resume_error_);
      std::lock_guard<std::mutex> lock(stop_mutex_);
      stopped_ = true;
      stop_changed_.notify_all();
    });
  }
  // Sends SIGTERM and waits for Resume to return. A listener that has not
  // stopped within kPatience cannot be joined: the program ends there, as
  // a failure.
  void Stop() {
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    std::unique_lock<std::mutex> lock(stop_mutex_);
    if (!stop_changed_.wait_for(lock, kPatience, [this] { return stopped_; })) {
      ADD_FAILURE() << "the listener did not stop within " << kPatienceMs << " ms of SIGTERM";
      std::fflush(stdout);
      std::_Exit(1);
    }
    lock.unlock();
    server_.join();
    EXPECT_TRUE(resumed_) << resume_error_;
  }
  int Connect() {
    sockaddr_un address;
    zv::MakeUnixAddress(dir_.File("s.sock"), &address);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    return fd;
  }
  // Sends a "length" request without text on `fd` and reads what comes back.
  std::string Ask(int fd) {
    std::string error;
    if (!zv::xpc::WriteAllBytes(fd, Frame(zv::xpc::EncodeRequest("length:reply:", std::nullopt)), &error)) {
      return "closed";
    }
    zv::xpc::FrameReader reader = ReplyReader(fd);
    return NextReply(reader);
  }
  // A reader of the replies on `fd` that waits at most kPatience for each.
  static zv::xpc::FrameReader ReplyReader(int fd) {
    return zv::xpc::FrameReader(fd, nullptr, zv::xpc::FrameDeadlines{kPatienceMs, kPatienceMs});
  }

  zvtest::TempDir dir_;
  StopFlag stop_flag_;
  StandInDelegate delegate_;
  std::unique_ptr<zv::xpc::Listener> listener_;
  std::thread server_;
  bool resumed_ = false;
  std::string resume_error_;
  std::mutex stop_mutex_;
  std::condition_variable stop_changed_;
  bool stopped_ = false;
};

// Every reply on `reader`, joined by '|', up to the connection's close or
// a reply that did not come in time.
std::string RepliesUntilClosed(zv::xpc::FrameReader& reader) {
  std::string replies;
  for (;;) {
    const std::string reply = NextReply(reader);
    replies += replies.empty() ? reply : "|" + reply;
    if (reply == "closed" || reply == zvtest::kNoReplyInTime) return replies;
  }
}

TEST_F(ListenerTest, OperationAbandonedByTheStopIsAnsweredWithAnError) {
  Start(Options());
  const int fd = Connect();
  std::string error;
  ASSERT_TRUE(zv::xpc::WriteAllBytes(fd, Frame(zv::xpc::EncodeRequest("length:reply:", std::string_view("abc"))) +
                                             Frame(zv::xpc::EncodeRequest("hold:reply:", std::nullopt)),
                                     &error));
  zv::xpc::FrameReader reader = ReplyReader(fd);
  EXPECT_EQ(NextReply(reader), "ok:3");
  ASSERT_TRUE(stop_flag_.AwaitHolding()) << "no operation began";
  Stop();
  EXPECT_EQ(NextReply(reader), "error:the service is stopping");
  EXPECT_EQ(NextReply(reader), "closed");
  ::close(fd);
}

TEST_F(ListenerTest, HostileConnectionsAreEndedWhileOthersAreServed) {
  zv::xpc::ListenerOptions options = Options();
  options.deadlines = {300, 600};
  options.unfinished_frame_bytes = 256 * 1024;
  Start(options);
  const std::string big(200 * 1024, 'b');
  const struct {
    const char* name;
    std::string bytes;
    std::string replies;  // every reply until the connection closes
  } cases[] = {
      {"header begun, never finished", Header(10).substr(0, 2),
       "error:malformed request: the frame did not arrive whole within 300 ms|closed"},
      {"payload begun, never finished", Header(10) + "len",
       "error:malformed request: the frame did not arrive whole within 300 ms|closed"},
      {"nothing sent", "", "closed"},
      {"answered, then idle", Frame(zv::xpc::EncodeRequest("length:reply:", std::string_view("ab"))),
       "ok:2|closed"},
      {"frame beyond what all connections may hold", Header(1024 * 1024) + std::string(400 * 1024, 'x'),
       "error:the service is busy|closed"},
      {"large frames one after another within it",
       Frame(zv::xpc::EncodeRequest("length:reply:", std::string_view(big))) +
           Frame(zv::xpc::EncodeRequest("length:reply:", std::string_view(big))),
       "ok:204800|ok:204800|closed"},
  };
  for (const auto& c : cases) {
    const int fd = Connect();
    std::string error;
    // The service may refuse before it has read everything; what it
    // answers is what counts.
    (void)zv::xpc::WriteAllBytesWithin(fd, c.bytes, kPatienceMs, &error);
    // Another connection is served while this one is pending.
    const int bystander = Connect();
    ASSERT_TRUE(zv::xpc::WriteAllBytes(bystander, Frame(zv::xpc::EncodeRequest("length:reply:", std::nullopt)),
                                       &error));
    zv::xpc::FrameReader bystander_reader = ReplyReader(bystander);
    EXPECT_EQ(NextReply(bystander_reader), "ok:0") << c.name;
    ::close(bystander);
    zv::xpc::FrameReader reader = ReplyReader(fd);
    const std::string replies = RepliesUntilClosed(reader);
    ::close(fd);
    EXPECT_EQ(replies, c.replies) << c.name;
    // Each later case would wait as long.
    if (replies.find(zvtest::kNoReplyInTime) != std::string::npos) return;
  }
}

TEST_F(ListenerTest, RequestInProgressHoldsItsTextOnTheBudget) {
  zv::xpc::ListenerOptions options = Options();
  options.unfinished_frame_bytes = 256 * 1024;
  Start(options);
  const std::string text(200 * 1024, 't');
  std::string error;
  const int holder = Connect();
  ASSERT_TRUE(zv::xpc::WriteAllBytes(holder, Frame(zv::xpc::EncodeRequest("hold:reply:", std::string_view(text))),
                                     &error));
  ASSERT_TRUE(stop_flag_.AwaitHolding()) << "no operation began";
  const int second = Connect();
  (void)zv::xpc::WriteAllBytesWithin(
      second, Frame(zv::xpc::EncodeRequest("length:reply:", std::string_view(text))), kPatienceMs, &error);
  zv::xpc::FrameReader reader = ReplyReader(second);
  EXPECT_EQ(NextReply(reader), "error:the service is busy");
  Stop();
  ::close(holder);
  ::close(second);
}

TEST_F(ListenerTest, ConnectionIdleLongestMakesRoomAtTheLimit) {
  zv::xpc::ListenerOptions options = Options();
  options.deadlines = {5000, 5000};
  Start(options);
  std::vector<int> fds;
  for (std::size_t i = 0; i < zv::xpc::kMaxConnections; ++i) {
    fds.push_back(Connect());
    ASSERT_EQ(Ask(fds.back()), "ok:0") << i;
  }
  // A request renews a connection's idle time: the second is now the one
  // idle longest, and it alone makes room for the newcomer.
  ASSERT_EQ(Ask(fds[0]), "ok:0");
  const int newcomer = Connect();
  EXPECT_EQ(Ask(newcomer), "ok:0");
  zv::xpc::FrameReader evicted = ReplyReader(fds[1]);
  EXPECT_EQ(NextReply(evicted), "closed");
  EXPECT_EQ(Ask(fds[0]), "ok:0");
  EXPECT_EQ(Ask(fds[2]), "ok:0");

  // A crowd far beyond the limit neither brings the service down nor
  // keeps a later client out.
  std::vector<int> crowd;
  for (int i = 0; i < 300; ++i) crowd.push_back(Connect());
  const int late = Connect();
  EXPECT_EQ(Ask(late), "ok:0");
  for (const int fd : fds) ::close(fd);
  for (const int fd : crowd) ::close(fd);
  ::close(newcomer);
  ::close(late);
}

TEST_F(ListenerTest, NewConnectionIsRefusedWhenNoneAtTheLimitIsIdle) {
  Start(Options());
  std::vector<int> fds;
  std::string error;
  for (std::size_t i = 0; i < zv::xpc::kMaxConnections; ++i) {
    fds.push_back(Connect());
    ASSERT_TRUE(zv::xpc::WriteAllBytes(fds.back(), Frame(zv::xpc::EncodeRequest("hold:reply:", std::nullopt)), &error));
  }
  ASSERT_TRUE(stop_flag_.AwaitHolding(static_cast<int>(zv::xpc::kMaxConnections))) << "not every operation began";
  const int refused = Connect();
  zv::xpc::FrameReader reader = ReplyReader(refused);
  EXPECT_EQ(NextReply(reader), "error:too many connections");
  EXPECT_EQ(NextReply(reader), "closed");
  Stop();
  for (const int fd : fds) ::close(fd);
  ::close(refused);
}

}  // namespace

namespace {

// A request whose first bytes wait in its socket keeps the connection busy
// even before its thread woke to read them: eviction must not close it.
TEST(ConnectionEvictionTest, ARequestWaitingInTheSocketIsNotIdle) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  zv::xpc::Connection waiting(pair[0], nullptr);  // not resumed: nothing reads the socket
  ASSERT_EQ(::write(pair[1], "\0", 1), 1);
  EXPECT_FALSE(waiting.TryEvict());
  int idle_pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, idle_pair), 0);
  zv::xpc::Connection idle(idle_pair[0], nullptr);
  EXPECT_TRUE(idle.TryEvict());
  ::close(pair[1]);
  ::close(idle_pair[1]);
}

}  // namespace
