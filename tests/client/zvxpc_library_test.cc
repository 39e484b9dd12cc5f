// SPDX-License-Identifier: MIT
// libzvxpc through its C interface against the real zvxpcd, and against a
// stand-in socket whose side the test plays: every operation, an error
// reply ending the requests behind it, a timeout, replies in order on a
// non-blocking loop, requests refused before anything is sent, a request
// larger than the socket takes queued and written as the peer reads while
// no call waits, the service's word kept when it closes in the middle of a
// request, and reconnection after the service closed a connection, never
// sending a request twice. (A walk
// of a printer is the installed C programs'; the walk on a poll loop, a
// large request behind a walk and a restart of the service are the
// installed dialog program's.)
#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix_io.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"
#include "support/scoped_variable.h"
#include "support/stand_in_socket.h"
#include "walk_service.h"
#include "zvxpc.h"

namespace {

using zvtest::StandInSocket;
using zvtest::TempDir;

// Calls `op` with `text` and gives the reply, or "errno:N message".
std::string Call(zvxpc_client* client, const char* op, const char* text, int timeout_ms = 10000) {
  char* reply = nullptr;
  if (zvxpc_call(client, op, text, timeout_ms, &reply) != 0) {
    return "errno:" + std::to_string(errno) + " " + zvxpc_error(client);
  }
  std::string result = reply;
  std::free(reply);
  return result;
}

// Cuts the stand-in's connection off after a minute unless it ended
// first: a client call that waited for a peer reading nothing then fails
// instead of holding the test until its time limit.
class Watchdog {
 public:
  explicit Watchdog(StandInSocket& stand_in)
      : thread_([this, &stand_in] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!ended_cv_.wait_for(lock, std::chrono::minutes(1), [this] { return ended_; })) stand_in.CutOff();
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ended_ = true;
    }
    ended_cv_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_cv_;
  bool ended_ = false;
  std::thread thread_;
};

// The frame a request of `op` with `text` travels in.
std::string RequestFrame(const char* op, const std::string& text) {
  std::string frame;
  zv::xpc::AppendFrame(zv::xpc::EncodeRequest(op, text), &frame);
  return frame;
}

class ZvxpcLibraryTest : public zvtest::WalkServiceTest {
 protected:
  void SetUp() override {
    WalkServiceTest::SetUp();
    StartService();
    client_ = zvxpc_connect(socket_path().c_str());
    ASSERT_NE(client_, nullptr) << std::strerror(errno);
  }
  void TearDown() override {
    zvxpc_close(client_);
    WalkServiceTest::TearDown();
  }

  zvxpc_client* client_ = nullptr;
};

TEST_F(ZvxpcLibraryTest, EveryOperationThroughCall) {
  const std::string current = dir_.File("p.plist"), previous = dir_.File("p.prev.plist");
  const std::string url = "file://" + current;
  const std::string swap = "2" ZVXPC_MARKER_SWAP_TYPE + current + ZVXPC_MARKER_CURRENT_PATH + previous +
                           ZVXPC_MARKER_PREVIOUS_PATH;
  struct Step {
    const char* op;
    std::string text;
    const char* reply;
  };
  // In order: each step finds the files the earlier ones left.
  const Step steps[] = {
      {ZVXPC_OP_IS_ADMIN, current, ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_EXIST, current, ZVXPC_REPLY_FALSE},
      {ZVXPC_OP_WRITE_DICTIONARY, url + ZVXPC_MARKER_URL_END "<plist/>", ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_EXIST, current, ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_SWAP, swap, ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_EXIST, previous, ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_WRITE_DATA, url + ZVXPC_MARKER_URL_END "<dict/>", ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_WRITE_DATA_RENAME, url, ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_REMOVE, previous, ZVXPC_REPLY_TRUE},
      {ZVXPC_OP_EXIST, previous, ZVXPC_REPLY_FALSE},
      {ZVXPC_OP_WALK, "x" ZVXPC_MARKER_USER_NAME, ZVXPC_WALK_RESULT "-1"},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(Call(client_, step.op, step.text.c_str()), step.reply) << step.op << " " << step.text;
  }
  EXPECT_EQ(zvtest::ReadFile(current), "<dict/>");
  // No argument object at all.
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, nullptr), ZVXPC_REPLY_FALSE);
}

// The service closes the connection after an error reply: the request
// queued behind it ends with its own error instead of vanishing, and the
// next request goes out on a new connection. The first request is larger
// than the socket takes at once, so the second is still queued when the
// service answers the first, however fast it is.
TEST_F(ZvxpcLibraryTest, ErrorReplyEndsEveryPendingRequestThenReconnects) {
  const std::string large(4 << 20, 'x');
  ASSERT_EQ(zvxpc_send(client_, "noSuch:reply:", large.c_str()), 0) << zvxpc_error(client_);
  ASSERT_EQ(zvxpc_send(client_, ZVXPC_OP_EXIST, "x"), 0) << zvxpc_error(client_);
  std::vector<std::string> outcomes;
  char* reply = nullptr;
  for (int status; !((status = zvxpc_receive(client_, &reply)) == -1 && errno == ENOMSG);) {
    if (status == 1) {
      pollfd ready{zvxpc_fd(client_), static_cast<short>(zvxpc_events(client_)), 0};
      ASSERT_EQ(::poll(&ready, 1, 10000), 1);
      continue;
    }
    outcomes.push_back(status == 0 ? std::string(reply) : "errno:" + std::to_string(errno));
    if (status == 0) std::free(reply);
    if (outcomes.size() == 1) {
      EXPECT_STREQ(zvxpc_error(client_), "unknown operation: noSuch:reply:");
      EXPECT_EQ(zvxpc_fd(client_), -1);
    }
  }
  EXPECT_EQ(outcomes, (std::vector<std::string>{"errno:" + std::to_string(EPROTO),
                                                "errno:" + std::to_string(ECONNRESET)}));
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, dir_.path().c_str()), "TRUE");
}

TEST_F(ZvxpcLibraryTest, RepliesInOrderOnANonBlockingLoop) {
  const std::string present = dir_.path(), absent = dir_.File("absent");
  const char* const texts[] = {present.c_str(), absent.c_str(), present.c_str()};
  for (const char* text : texts) ASSERT_EQ(zvxpc_send(client_, ZVXPC_OP_EXIST, text), 0) << zvxpc_error(client_);
  char* reply = nullptr;
  EXPECT_EQ(zvxpc_call(client_, ZVXPC_OP_EXIST, "x", 1000, &reply), -1);
  EXPECT_EQ(errno, EBUSY);

  // One read may bring several replies: take them until none is complete.
  std::vector<std::string> replies;
  while (replies.size() < 3) {
    pollfd readable{zvxpc_fd(client_), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 10000), 1);
    int status;
    while ((status = zvxpc_receive(client_, &reply)) == 0) {
      replies.emplace_back(reply);
      std::free(reply);
    }
    ASSERT_EQ(status, replies.size() < 3 ? 1 : -1) << zvxpc_error(client_);
  }
  EXPECT_EQ(replies, (std::vector<std::string>{"TRUE", "FALSE", "TRUE"}));
  EXPECT_EQ(zvxpc_receive(client_, &reply), -1);
  EXPECT_EQ(errno, ENOMSG);
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, present.c_str()), "TRUE");
}

// A client of the stand-in socket, closed at the end.
class StandInTest : public ::testing::Test {
 protected:
  void TearDown() override { zvxpc_close(client_); }
  /// Connects the client; with `accept`, the stand-in takes the connection.
  void Connect(bool accept = true) {
    client_ = zvxpc_connect(stand_in_.path());
    ASSERT_NE(client_, nullptr) << std::strerror(errno);
    if (accept) stand_in_.Accept();
  }

  TempDir dir_;
  StandInSocket stand_in_{dir_.File("stand-in.sock")};
  zvxpc_client* client_ = nullptr;
};

TEST_F(StandInTest, RefusedWalksSendNothing) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  // One text of each part the request cannot carry; every rule of what it
  // cannot carry is WalkTextTest's.
  const char* const address[] = {"127.0.0.1"};
  const char* const marked[] = {"a" ZVXPC_MARKER_WALK_ARGUMENT "b"};
  struct Case {
    const char* user;
    const char* model;
    int argc;
    const char* const* argv;
  };
  const Case cases[] = {
      {"u", "m", 0, nullptr},
      {"u", "m" ZVXPC_MARKER_MODEL_NAME, 1, address},
      {"u", "m", 1, marked},
      {"\xFF", "m", 1, address},
  };
  for (const Case& c : cases) {
    int result = 99;
    EXPECT_EQ(zvxpc_walk(client_, c.user, c.model, c.argc, c.argv, 1000, &result), -1) << c.user << " " << c.model;
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(result, 99);
  }
  EXPECT_EQ(stand_in_.WaitingBytes(), 0);
}

TEST_F(StandInTest, TimeoutClosesTheConnection) {
  ASSERT_NO_FATAL_FAILURE(Connect(/*accept=*/false));
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, "x", 200), "errno:" + std::to_string(ETIMEDOUT) +
                                                        " the service did not reply in time");
  EXPECT_EQ(zvxpc_fd(client_), -1);
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, "x", 200).rfind("errno:" + std::to_string(ENOTCONN) + " ", 0), 0u);
}

// A peer that closes while a request is on its way gives ECONNRESET, never
// SIGPIPE (which would end this test program); that request may have
// reached the service, so it is not sent again on a new connection. The
// descriptor does not leak into programs run later.
TEST_F(StandInTest, PeerClosingDuringARequestIsNotRetried) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_NE(::fcntl(zvxpc_fd(client_), F_GETFD) & FD_CLOEXEC, 0);
  std::thread closer([this] { stand_in_.CloseOnceBytesArrive(); });
  const std::string big(1 << 20, 'a');  // more than the socket buffer takes
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, big.c_str()).rfind("errno:" + std::to_string(ECONNRESET) + " ", 0), 0u);
  closer.join();
  EXPECT_FALSE(stand_in_.ConnectionWaiting());
}

// A connection the service closed while it was idle is made anew before
// the next request, which then goes out once.
TEST_F(StandInTest, IdleConnectionClosedByTheServiceIsRemade) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  stand_in_.CloseConnection();
  ASSERT_EQ(zvxpc_send(client_, ZVXPC_OP_EXIST, "x"), 0) << zvxpc_error(client_);
  ASSERT_TRUE(stand_in_.ConnectionWaiting());
  stand_in_.Accept();
  EXPECT_GT(stand_in_.WaitingBytes(), 0);
}

// The stand-in reads nothing until the request is queued: zvxpc_send and
// zvxpc_flush return all the same, and the request goes out as the peer
// reads. Meanwhile requests the queue cannot take are refused whole.
TEST_F(StandInTest, LargeRequestIsQueuedAndWrittenAsThePeerReads) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const Watchdog watchdog(stand_in_);
  EXPECT_NE(::fcntl(zvxpc_fd(client_), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(zvxpc_events(client_), 0);
  const std::string body(8 << 20, 'b');  // far more than the socket buffers take
  ASSERT_EQ(zvxpc_send(client_, ZVXPC_OP_WRITE_DICTIONARY, body.c_str()), 0) << zvxpc_error(client_);
  EXPECT_EQ(zvxpc_events(client_), POLLOUT | POLLIN);
  EXPECT_EQ(zvxpc_flush(client_), 1);
  char* reply = nullptr;
  EXPECT_EQ(zvxpc_receive(client_, &reply), 1);

  const std::string over_the_limit(zv::xpc::kMaxFrameBytes, 'o');  // with the operation name, over
  const std::string past_the_queue(9 << 20, 'q');                  // fits alone, not behind the first
  const struct {
    const char* name;
    const std::string& text;
    int error;
  } refused[] = {{"over the frame limit", over_the_limit, EMSGSIZE}, {"queue full", past_the_queue, EAGAIN}};
  for (const auto& c : refused) {
    EXPECT_EQ(zvxpc_send(client_, ZVXPC_OP_EXIST, c.text.c_str()), -1) << c.name;
    EXPECT_EQ(errno, c.error) << c.name;
  }

  std::string received = stand_in_.Drain();
  int status;
  while ((status = zvxpc_flush(client_)) == 1) received += stand_in_.Drain();
  ASSERT_EQ(status, 0) << zvxpc_error(client_);
  EXPECT_EQ(zvxpc_events(client_), POLLIN);
  received += stand_in_.Drain();
  EXPECT_EQ(received, RequestFrame(ZVXPC_OP_WRITE_DICTIONARY, body));  // the refused ones never went out

  stand_in_.Reply(zv::xpc::ReplyStatus::kReply, "TRUE");
  pollfd readable{zvxpc_fd(client_), static_cast<short>(zvxpc_events(client_)), 0};
  ASSERT_EQ(::poll(&readable, 1, 10000), 1);
  ASSERT_EQ(zvxpc_receive(client_, &reply), 0) << zvxpc_error(client_);
  EXPECT_STREQ(reply, "TRUE");
  std::free(reply);
  EXPECT_EQ(zvxpc_events(client_), 0);
  EXPECT_EQ(zvxpc_send(client_, ZVXPC_OP_EXIST, past_the_queue.c_str()), 0) << zvxpc_error(client_);
}

// A service that refuses a request while it is still being written, and
// closes: the write fails, and the request ends with the service's word.
TEST_F(StandInTest, ServiceClosingInTheMiddleOfARequestStillGivesItsWord) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const std::string body(8 << 20, 'b');
  ASSERT_EQ(zvxpc_send(client_, ZVXPC_OP_WRITE_DICTIONARY, body.c_str()), 0) << zvxpc_error(client_);
  ASSERT_EQ(zvxpc_events(client_), POLLOUT | POLLIN);
  EXPECT_FALSE(stand_in_.Drain().empty());
  stand_in_.Reply(zv::xpc::ReplyStatus::kError, "the service is busy");
  stand_in_.CloseConnection();

  EXPECT_EQ(zvxpc_flush(client_), -1);
  EXPECT_EQ(errno, ECONNRESET);
  EXPECT_EQ(zvxpc_events(client_), POLLIN);  // nothing more is written; the reply is still read
  char* reply = nullptr;
  EXPECT_EQ(zvxpc_receive(client_, &reply), -1);
  EXPECT_EQ(errno, EPROTO);
  EXPECT_STREQ(zvxpc_error(client_), "the service is busy");
  EXPECT_EQ(zvxpc_fd(client_), -1);
  EXPECT_EQ(zvxpc_events(client_), 0);
  EXPECT_EQ(zvxpc_receive(client_, &reply), -1);
  EXPECT_EQ(errno, ENOMSG);
}

TEST_F(StandInTest, ConnectChoosesTheSocketAndReportsErrno) {
  errno = 0;
  EXPECT_EQ(zvxpc_connect(dir_.File("none.sock").c_str()), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(zvxpc_connect(std::string(200, 'a').c_str()), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);

  {
    const zvtest::ScopedVariable socket_variable("ZVXPC_SOCKET", std::string(stand_in_.path()));
    client_ = zvxpc_connect(nullptr);
    EXPECT_NE(client_, nullptr);
  }
  const zvtest::ScopedVariable empty_socket_variable("ZVXPC_SOCKET", "");
  {
    const zvtest::ScopedVariable runtime_dir("XDG_RUNTIME_DIR", dir_.path());
    EXPECT_EQ(zvxpc_connect(nullptr), nullptr);
    EXPECT_EQ(errno, ENOENT);  // dir/zvxpcd.sock does not exist
  }
  const zvtest::ScopedVariable no_runtime_dir("XDG_RUNTIME_DIR", std::nullopt);
  EXPECT_EQ(zvxpc_connect(nullptr), nullptr);
  EXPECT_EQ(errno, EINVAL);
}

// The folder for every setting of the variables is
// DefaultPreferencesDirectoryTest's.
TEST(ZvxpcLibrary, PreferencesDirFollowsTheEnvironment) {
  const zvtest::ScopedVariable config_home("XDG_CONFIG_HOME", "/somewhere/config");
  EXPECT_STREQ(zvxpc_preferences_dir(), "/somewhere/config/zvxpc/");
}

}  // namespace
