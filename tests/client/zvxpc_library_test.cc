// SPDX-License-Identifier: MIT
// libzvxpc through its C interface against the real zvxpcd, and against a
// stand-in socket whose side the test plays: every operation, an error
// reply ending the requests behind it, a timeout, replies in order on a
// non-blocking loop, requests refused before anything is sent, a request
// larger than the socket takes queued and written as the peer reads while
// no call waits, the service's word kept when it closes in the middle of a
// request, frames no request asked for and texts holding a zero byte
// refused, reconnection after either side closed a connection, never
// sending a request twice and never waiting for the connect, and the
// explained walk and the readers of the walk's and the status reply. (A walk
// of a printer is the installed C programs'; the walk on a poll loop, a
// large request behind a walk and a restart of the service are the
// installed dialog program's.)
#include <fcntl.h>
#include <poll.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix_io.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"
#include "support/scoped_variable.h"
#include "support/stand_in_service.h"
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

// Waits for and takes the next reply: the reply, or "errno:N message".
std::string Receive(zvxpc_client* client) {
  char* reply = nullptr;
  int status;
  while ((status = zvxpc_receive(client, &reply)) == 1) {
    pollfd ready{zvxpc_fd(client), static_cast<short>(zvxpc_events(client)), 0};
    if (::poll(&ready, 1, 10000) != 1) return "no reply in time";
  }
  if (status != 0) return "errno:" + std::to_string(errno) + " " + zvxpc_error(client);
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

// A walk of a silent printer, cancelled once it is under way: its reply
// comes at once and says so, and no list is written; a second cancel
// finds no walk.
TEST_F(ZvxpcLibraryTest, CancelledWalkMergesNothingAndSaysSo) {
  zvtest::SilentDevice silent;
  const std::string address = silent.address();
  const char* const args[] = {"-v", "2c", "-c", "public", "-t", "60", "-r", "0", address.c_str(),
                              ZVXPC_PROFILE_TABLE_OID};
  ASSERT_EQ(zvxpc_walk_explain_send(client_, "alice", "PX-100", 10, args), 0) << zvxpc_error(client_);
  ASSERT_TRUE(silent.AwaitDatagram(10000));
  EXPECT_EQ(zvxpc_walk_cancel(client_, "alice", "PX-100", 10000), 0) << zvxpc_error(client_);
  const std::string reply = Receive(client_);
  int list = -1;
  EXPECT_EQ(zvxpc_walk_saved(reply.c_str(), &list), 0) << reply;
  EXPECT_EQ(list, ZVXPC_LIST_CANCELLED);
  EXPECT_EQ(reply.rfind("iRet=1" ZVXPC_REASON_MARKER "the walk was cancelled", 0), 0u) << reply;
  EXPECT_EQ(PreferencesEntries(), std::vector<std::string>{});
  EXPECT_EQ(zvxpc_walk_cancel(client_, "alice", "PX-100", 10000), -1);
  EXPECT_EQ(errno, ESRCH);
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

// A timeout closes the connection, as the late reply would be out of
// turn; the next request goes out on a new connection, as after a restart.
TEST_F(StandInTest, TimeoutClosesTheConnectionAndTheNextRequestReconnects) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const std::string timed_out = "errno:" + std::to_string(ETIMEDOUT) + " the service did not reply in time";
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, "first", 200), timed_out);
  EXPECT_EQ(zvxpc_fd(client_), -1);
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, "second", 200), timed_out);
  EXPECT_EQ(stand_in_.Drain(), RequestFrame(ZVXPC_OP_EXIST, "first"));
  ASSERT_TRUE(stand_in_.ConnectionWaiting());
  stand_in_.Accept();
  EXPECT_EQ(stand_in_.Drain(), RequestFrame(ZVXPC_OP_EXIST, "second"));
}

// With no request pending the service has nothing to say: a frame then
// would be taken as the next request's reply. The next send finds it,
// sends nothing, closes the connection and fails (a refusal the service
// sent before it closed, as at its connection limit, is its word); the
// request after it connects anew.
TEST(StandInFrames, FramesNoRequestAskedForAreRefusedAtTheNextSend) {
  const auto frame = [](zv::xpc::ReplyStatus status, std::string_view text) {
    std::string bytes;
    zv::xpc::AppendReplyFrame(status, text, &bytes);
    return bytes;
  };
  const std::string unasked = "the service sent a frame that no request asked for";
  struct Case {
    const char* name;
    bool answer_first;  // a reply to a request comes first, in the same bytes
    std::string bytes;
    bool close;
    int error;
    std::string message;
  };
  const Case cases[] = {
      {"a reply before any request", false, frame(zv::xpc::ReplyStatus::kReply, "TRUE"), false, EBADMSG, unasked},
      {"a second reply to one request", true, frame(zv::xpc::ReplyStatus::kReply, "TRUE"), false, EBADMSG, unasked},
      {"part of a frame", false, std::string("\0\0", 2), false, EBADMSG, unasked},
      {"a refusal, then the end", false, frame(zv::xpc::ReplyStatus::kError, "too many connections"), true, EPROTO,
       "too many connections"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    StandInSocket stand_in(dir.File("stand-in.sock"));
    zvxpc_client* client = zvxpc_connect(stand_in.path());
    ASSERT_NE(client, nullptr) << std::strerror(errno);
    stand_in.Accept();
    std::string bytes = c.bytes;
    if (c.answer_first) {
      ASSERT_EQ(zvxpc_send(client, ZVXPC_OP_EXIST, "x"), 0) << zvxpc_error(client);
      stand_in.Drain();
      bytes = frame(zv::xpc::ReplyStatus::kReply, "TRUE") + bytes;
    }
    ASSERT_TRUE(zv::WriteAll(stand_in.connection(), bytes));
    if (c.close) stand_in.CloseConnection();
    if (c.answer_first) {
      EXPECT_EQ(Receive(client), "TRUE");
    }

    EXPECT_EQ(zvxpc_send(client, ZVXPC_OP_EXIST, "refused"), -1);
    EXPECT_EQ(errno, c.error);
    EXPECT_EQ(zvxpc_error(client), c.message);
    EXPECT_EQ(zvxpc_fd(client), -1);
    if (!c.close) {
      EXPECT_EQ(stand_in.Drain(), "");  // nothing of the refused request
    }
    EXPECT_EQ(zvxpc_send(client, ZVXPC_OP_EXIST, "next"), 0) << zvxpc_error(client);
    EXPECT_TRUE(stand_in.ConnectionWaiting());
    zvxpc_close(client);
  }
}

// Which texts hold a zero byte is ReplyBufferTest's; the library refuses
// such a reply and closes the connection, as for any frame that is no
// reply.
TEST_F(StandInTest, ReplyTextHoldingAZeroByteIsRefused) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_EQ(zvxpc_send(client_, ZVXPC_OP_EXIST, "x"), 0) << zvxpc_error(client_);
  stand_in_.Reply(zv::xpc::ReplyStatus::kReply, std::string("TR\0UE", 5));
  EXPECT_EQ(Receive(client_), "errno:" + std::to_string(EBADMSG) +
                                  " the service sent no proper reply: its text holds a zero byte");
  EXPECT_EQ(zvxpc_fd(client_), -1);
}

// Connects to `path` without waiting until the listener's queue of new
// connections is full; the sockets that got in.
std::vector<int> FillConnectionQueue(const char* path) {
  sockaddr_un address;
  zv::MakeUnixAddress(path, &address);
  std::vector<int> queued;
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      EXPECT_EQ(errno, EAGAIN);
      ::close(fd);
      return queued;
    }
    queued.push_back(fd);
  }
}

// A reconnection never waits, not even for a service whose queue of new
// connections is full: a call gives up at its time limit, and on an event
// loop the request waits queued, zvxpc_events names POLLOUT, and a flush
// sends it once the queue has room.
TEST_F(StandInTest, ReconnectionNeverWaitsForTheConnect) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  stand_in_.CloseConnection();
  const std::vector<int> queued = FillConnectionQueue(stand_in_.path());
  ASSERT_FALSE(queued.empty());
  EXPECT_EQ(Call(client_, ZVXPC_OP_EXIST, "x", 200),
            "errno:" + std::to_string(ETIMEDOUT) + " the service did not take the connection in time");

  ASSERT_EQ(zvxpc_send(client_, ZVXPC_OP_EXIST, "x"), 0) << zvxpc_error(client_);
  EXPECT_EQ(zvxpc_events(client_), POLLOUT);
  EXPECT_EQ(zvxpc_flush(client_), 1);
  char* reply = nullptr;
  EXPECT_EQ(zvxpc_receive(client_, &reply), 1);
  stand_in_.Accept();  // the first queued connection: room for one more
  EXPECT_EQ(zvxpc_flush(client_), 0) << zvxpc_error(client_);
  EXPECT_EQ(zvxpc_events(client_), POLLIN);
  while (stand_in_.ConnectionWaiting()) stand_in_.Accept();  // the client's came last
  EXPECT_EQ(stand_in_.Drain(), RequestFrame(ZVXPC_OP_EXIST, "x"));
  for (const int fd : queued) ::close(fd);
}

// A connect that waited and then fails (the service went away) ends the
// requests queued on it with its own failure, not as lost replies.
TEST(StandInFrames, ConnectThatFailsEndsTheRequestsQueuedOnIt) {
  TempDir dir;
  std::optional<StandInSocket> stand_in(std::in_place, dir.File("stand-in.sock"));
  zvxpc_client* client = zvxpc_connect(stand_in->path());
  ASSERT_NE(client, nullptr) << std::strerror(errno);
  stand_in->Accept();
  stand_in->CloseConnection();
  const std::vector<int> queued = FillConnectionQueue(stand_in->path());
  ASSERT_EQ(zvxpc_send(client, ZVXPC_OP_EXIST, "x"), 0) << zvxpc_error(client);
  ASSERT_EQ(zvxpc_events(client), POLLOUT);
  stand_in.reset();  // the listener closes; its socket file stays
  for (const int fd : queued) ::close(fd);
  EXPECT_EQ(zvxpc_flush(client), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  EXPECT_EQ(Receive(client), "errno:" + std::to_string(ECONNREFUSED) + " connect(" + dir.File("stand-in.sock") +
                                 "): Connection refused");
  char* reply = nullptr;
  EXPECT_EQ(zvxpc_receive(client, &reply), -1);
  EXPECT_EQ(errno, ENOMSG);
  zvxpc_close(client);
}

// The explained walk goes out with the very text of the walk; its reply,
// and the plain walk's, read with zvxpc_walk_reason.
TEST_F(StandInTest, ExplainedWalkSendsTheWalksText) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const char* const args[] = {"-v", "2c", "192.0.2.7", ZVXPC_PROFILE_TABLE_OID};
  ASSERT_EQ(zvxpc_walk_send(client_, "alice", "PX-100", 4, args), 0) << zvxpc_error(client_);
  ASSERT_EQ(zvxpc_walk_explain_send(client_, "alice", "PX-100", 4, args), 0) << zvxpc_error(client_);
  EXPECT_EQ(zvxpc_walk_explain_send(client_, "alice", "PX-100", 0, nullptr), -1);
  EXPECT_EQ(errno, EINVAL);
  const std::string text = "PX-100:ModelName:ENDalice:USErName:ENDzvxpc:arg:-v:arg:2c:arg:192.0.2.7:arg:"
                           ZVXPC_PROFILE_TABLE_OID ":arg:";
  EXPECT_EQ(stand_in_.Drain(), RequestFrame(ZVXPC_OP_WALK, text) + RequestFrame(ZVXPC_OP_WALK_EXPLAINED, text));
}

TEST(ZvxpcLibrary, BlockingExplainedWalkGivesResultAndReason) {
  TempDir dir;
  const std::string path = dir.File("stand-in.sock");
  zvtest::StandInService stand_in(
      path, {zvtest::ReplyPayload("iRet=2" ZVXPC_REASON_MARKER "the device answered with error status 5 (genErr)")});
  zvxpc_client* client = zvxpc_connect(path.c_str());
  ASSERT_NE(client, nullptr) << std::strerror(errno);
  const char* const args[] = {"192.0.2.7"};
  int result = 99;
  char* reason = nullptr;
  EXPECT_EQ(zvxpc_walk_explain(client, "alice", "PX-100", 1, args, 10000, &result, &reason), 0)
      << zvxpc_error(client);
  EXPECT_EQ(result, 2);
  EXPECT_STREQ(reason, "the device answered with error status 5 (genErr)");
  std::free(reason);
  zvxpc_close(client);
  ASSERT_EQ(stand_in.requests().size(), 1u);
  EXPECT_EQ(stand_in.requests()[0].operation, ZVXPC_OP_WALK_EXPLAINED);
}

// What the readers of a reply give through the C interface: malloc'ed
// texts, NULL for a walk reply without reason, errno for the rest (which
// texts they read is WalkTextTest's and StatusTextTest's).
TEST(ZvxpcLibrary, ReplyReadersGiveTextsOrErrno) {
  const auto walk = [](const char* reply) {
    int result = 0;
    char* reason = nullptr;
    if (zvxpc_walk_reason(reply, &result, &reason) != 0) return "errno:" + std::to_string(errno);
    const std::string read = std::to_string(result) + " " + (reason != nullptr ? reason : "(null)");
    std::free(reason);
    return read;
  };
  const auto field = [](const char* reply, const char* name) {
    char* value = nullptr;
    if (zvxpc_status_field(reply, name, &value) != 0) return "errno:" + std::to_string(errno);
    const std::string read = value;
    std::free(value);
    return read;
  };
  const auto saved = [](const char* reply) {
    int list = -1;
    return zvxpc_walk_saved(reply, &list) == 0 ? std::to_string(list) : "errno:" + std::to_string(errno);
  };
  const char* const status = "version=0.4.0\n" ZVXPC_STATUS_PREFERENCES_DIR "=/home/alice/profiles/";
  const std::pair<std::string, std::string> cases[] = {
      {walk("iRet=1" ZVXPC_REASON_MARKER "unknown host 'nohost'"), "1 unknown host 'nohost'"},
      {walk("iRet=0"), "0 (null)"},
      {walk("TRUE"), "errno:" + std::to_string(EBADMSG)},
      {field(status, ZVXPC_STATUS_PREFERENCES_DIR), "/home/alice/profiles/"},
      {field(status, ZVXPC_STATUS_WALKS_RUNNING), "errno:" + std::to_string(ENOENT)},
      {field("TRUE", ZVXPC_STATUS_VERSION), "errno:" + std::to_string(EBADMSG)},
      {saved("iRet=0" ZVXPC_REASON_MARKER "3 rows" ZVXPC_LIST_MARKER ZVXPC_LIST_WORD_NOT_SAVED),
       std::to_string(ZVXPC_LIST_NOT_SAVED)},
      {saved("iRet=0"), "errno:" + std::to_string(ENOENT)},
      {saved("FALSE"), "errno:" + std::to_string(EBADMSG)},
  };
  for (const auto& [read, expected] : cases) EXPECT_EQ(read, expected);
}

// The version macros give the package's version, as the build names it.
TEST(ZvxpcLibrary, VersionMacrosAreThePackagesVersion) {
  EXPECT_EQ(std::to_string(ZVXPC_VERSION_MAJOR) + "." + std::to_string(ZVXPC_VERSION_MINOR) + "." +
                std::to_string(ZVXPC_VERSION_PATCH),
            ZVXPC_VERSION);
  static_assert(ZVXPC_CHECK_VERSION(0, 5, 0) && !ZVXPC_CHECK_VERSION(ZVXPC_VERSION_MAJOR, ZVXPC_VERSION_MINOR + 1, 0));
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
