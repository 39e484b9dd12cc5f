// SPDX-License-Identifier: MIT
// The real zvxpcd driven through its socket, through libzvxpc and, where a
// request must be malformed or pipelined by hand, as bare frames: why a
// file operation answered FALSE, request order, the door for other users
// and for hostile frames, file requests beside a walk, stopping, and socket
// activation. Every operation through the client library is
// ZvxpcLibraryTest's; stalled, idle and surplus connections are the
// listener's (ListenerTest).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix_io.h"
#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"
#include "service_calls.h"
#include "support/log_file.h"
#include "zvxpc.h"
#include "service_process.h"
#include "support/log_file.h"
#include "support/frame_replies.h"
#include "support/other_user.h"
#include "support/scoped_variable.h"
#include "support/snmp_agents.h"
#include "support/temp_dir.h"

namespace {

using zvtest::CallText;
using zvtest::NextReply;
using zvtest::Exists;
using zvtest::SilentDevice;
using zvtest::ReadFile;
using zvtest::WriteFile;

constexpr const char* kExist = "zvPListExistProfile_XPC:reply:";

int RawConnect(const std::string& path) {
  sockaddr_un address;
  zv::MakeUnixAddress(path, &address);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string Frame(std::string_view payload) {
  std::string frame;
  zv::xpc::AppendFrame(payload, &frame);
  return frame;
}

class ServiceProcessTest : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& extra = {}) {
    service_ = std::make_unique<zvtest::ServiceProcess>(dir_.path(), extra);
    ASSERT_TRUE(service_->ok()) << ReadFile(dir_.File("zvxpcd.stderr"));
  }
  const std::string& socket_path() const { return service_->socket_path(); }

  // One request on a fresh connection; its reply text, or "error:..." /
  // "failed:...".
  std::string Call(const std::string& operation, const std::optional<std::string>& text) {
    return zvtest::CallOnce(socket_path(), operation.c_str(), text);
  }
  std::string Url(const std::string& name) const { return "file://" + dir_.File(name); }

  zvtest::TempDir dir_;
  std::unique_ptr<zvtest::ServiceProcess> service_;
};

bool IsSocket(const char* path) {
  struct stat status {};
  return ::stat(path, &status) == 0 && S_ISSOCK(status.st_mode);
}

// With --verbose and neither a journal, a system log nor a log file, the
// entries still reach someone: standard error.
TEST_F(ServiceProcessTest, VerboseEntriesGoToStandardErrorWhenThereIsNowhereElse) {
  if (IsSocket("/run/systemd/journal/socket") || IsSocket("/dev/log")) {
    GTEST_SKIP() << "this machine has a journal or a system log, where the entries go";
  }
  Start({"--verbose"});
  const std::string missing = dir_.File("missing.plist");
  EXPECT_EQ(Call(kExist, missing), "FALSE");
  const std::string entry = std::string("zvxpcd: xpc - ") + kExist + " - FALSE for '" + missing + "': ";
  EXPECT_NE(ReadFile(dir_.File("zvxpcd.stderr")).find(entry), std::string::npos) << ReadFile(dir_.File("zvxpcd.stderr"));
}

// With --verbose every FALSE leaves one entry saying why; a TRUE leaves none.
TEST_F(ServiceProcessTest, VerboseLogTellsWhyFileOperationsAnsweredFalse) {
  const std::string log = dir_.File("verbose.log");
  Start({"--log-file", log, "--verbose"});
  const std::string missing = dir_.File("missing.plist");
  const struct {
    const char* operation;
    std::optional<std::string> text;
    std::string path;    // as the entry names it
    std::string reason;  // what the entry must say
  } cases[] = {
      {"zvPListIsAdminProfile_XPC:reply:", dir_.File("none/x"), dir_.File("none/x"),
       "open: No such file or directory"},
      {kExist, missing, missing, "open: No such file or directory"},
      {kExist, std::nullopt, "", "the request carried no path"},
      {"zvPListRemove_XPC:reply:", missing, missing, "remove: No such file or directory"},
      {"writeDictionaryToPlistFile_XPC:reply:", "http://host/x:AddURL:END<dict/>", "http://host/x", "not a file URL"},
      {"writeDictionaryToPlistFile_XPC:reply:", Url("none/w.plist") + ":AddURL:END<dict/>", Url("none/w.plist"),
       "No such file or directory"},
      {"writeDataToPlistFile_XPC:reply:", std::string("no separator"), "", "no file URL"},
      {"writeDataToPlistFileRename_XPC:reply:", Url("t.plist"), Url("t.plist"), "rename: No such file or directory"},
  };
  for (const auto& c : cases) EXPECT_EQ(Call(c.operation, c.text), "FALSE") << c.operation;
  EXPECT_EQ(Call(kExist, dir_.path()), "TRUE");

  const std::vector<std::string> lines = zvtest::LogFileLines(log);
  ASSERT_EQ(lines.size(), std::size(cases)) << ReadFile(log);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string head = std::string("xpc - ") + cases[i].operation + " - FALSE for '" + cases[i].path + "': ";
    EXPECT_EQ(lines[i].substr(0, head.size()), head) << lines[i];
    EXPECT_NE(lines[i].find(cases[i].reason, head.size()), std::string::npos) << lines[i];
  }
}

// The service's resident memory in kB (VmRSS).
long ResidentKb(pid_t pid) {
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// A connection keeps only small buffers between requests: the memory of a
// large one goes back once it is answered, while the connection stays.
TEST_F(ServiceProcessTest, ALargeRequestsMemoryGoesBackOnceItIsAnswered) {
  // Under AddressSanitizer, freed memory waits in its quarantine unless
  // told not to.
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  zvtest::ScopedVariable no_quarantine("ASAN_OPTIONS",
                                       std::string(sanitizer != nullptr ? sanitizer : "") + ":quarantine_size_mb=0");
  Start();
  const int fd = RawConnect(socket_path());
  ASSERT_GE(fd, 0);
  const long before = ResidentKb(service_->process().pid());
  const std::string large_path(8 << 20, 'p');
  ASSERT_TRUE(zv::WriteAll(fd, Frame(std::string(kExist) + '\0' + '\1' + large_path)));
  zv::xpc::FrameReader reader(fd);
  EXPECT_EQ(NextReply(reader), "ok:FALSE");
  // A small request after it: its reply comes once the large one's
  // buffers were given back.
  ASSERT_TRUE(zv::WriteAll(fd, Frame(std::string(kExist) + '\0' + '\1' + "/")));
  EXPECT_EQ(NextReply(reader), "ok:TRUE");
  EXPECT_LT(ResidentKb(service_->process().pid()) - before, 4 * 1024);
  ::close(fd);
}

// The status operation tells a client the service's folder and settings
// (its uptime, which the test cannot know, read as N).
TEST_F(ServiceProcessTest, StatusGivesTheFolderTheBulkSettingAndTheWalks) {
  const std::string folder = dir_.File("made/by/the/service") + "/", log = dir_.File("log");
  Start({"--preferences-dir", folder, "--walk-timeout", "30", "--verbose", "--log-file", log});
  const std::string reply =
      std::regex_replace(Call(ZVXPC_OP_STATUS, std::nullopt), std::regex("\nuptime=[0-9]+\n"), "\nuptime=N\n");
  EXPECT_EQ(reply, std::string("version=") + ZVXPC_VERSION +
                        "\nbulk-repetitions=auto\nwalks-running=0\nwalks-waiting=0\nwalk-timeout=30\ntoggles=\n"
                        "verbose=on\nlog=" + log + "\npid=" + std::to_string(service_->process().pid()) +
                        "\nuptime=N\nwatches=0\npreferences-dir=" + folder);
  // A folder given that does not exist is made when first needed, private.
  EXPECT_EQ(Call(ZVXPC_OP_IS_ADMIN, folder + "x.plist"), "TRUE");
  struct stat status {};
  ASSERT_EQ(::stat(folder.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
}

TEST(ServiceCommandLineTest, VersionIsPrintedAndExitsZero) {
  const zvtest::CommandResult result = zvtest::RunCommand({zvtest::ServiceBinary(), "--version"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, std::string("zvxpcd ") + ZVXPC_VERSION + "\n");
}

TEST_F(ServiceProcessTest, SocketFileIsPrivate) {
  Start();
  struct stat st;
  ASSERT_EQ(::lstat(socket_path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ServiceProcessTest, PipelinedRequestsAreAnsweredInOrder) {
  Start();
  const std::string present = dir_.File("present");
  WriteFile(present, "x");
  std::string bytes;
  std::vector<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    const bool exists = i % 3 != 1;
    bytes += Frame(zv::xpc::EncodeRequest(kExist, exists ? present : dir_.File("missing")));
    expected.push_back(exists ? "ok:TRUE" : "ok:FALSE");
    if (i % 50 == 0) {
      bytes += Frame(zv::xpc::EncodeRequest("mibwalk_XPC:reply:", std::nullopt));
      expected.push_back("ok:iRet=-1");
    }
  }
  const int fd = RawConnect(socket_path());
  ASSERT_GE(fd, 0);
  std::string error;
  // All requests go out before any reply is read.
  std::thread writer([&] { zv::xpc::WriteAllBytes(fd, bytes, &error); });
  zv::xpc::FrameReader reader(fd);
  std::vector<std::string> replies;
  for (std::size_t i = 0; i < expected.size(); ++i) replies.push_back(NextReply(reader));
  writer.join();
  EXPECT_EQ(replies, expected);
  ::close(fd);
}

TEST_F(ServiceProcessTest, ConnectionOfAnotherUserIsClosedUnserved) {
  if (!zvtest::RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  Start();
  ASSERT_EQ(::chmod(socket_path().c_str(), 0666), 0);
  const std::string path = socket_path();
  const std::string marker = dir_.File("marker");
  const int outcome = zvtest::RunAsOtherUser([&path, &marker] {
    const int fd = RawConnect(path);
    if (fd < 0) return 10;  // could not even connect: the test proves nothing
    std::string error;
    zv::xpc::WriteAllBytes(fd, Frame(zv::xpc::EncodeRequest("writeDictionaryToPlistFile_XPC:reply:",
                                                             std::string_view("file://" + marker + ":AddURL:ENDx"))),
                           &error);
    zv::xpc::FrameReader reader(fd);
    const std::string reply = NextReply(reader);
    ::close(fd);
    return reply == "closed" ? 0 : 20;
  });
  EXPECT_EQ(outcome, 0);
  EXPECT_FALSE(Exists(marker));
  EXPECT_EQ(Call(kExist, dir_.path()), "TRUE");
}

TEST_F(ServiceProcessTest, BadFramesGetAnErrorWhileOthersAreServed) {
  Start();
  unsigned char oversize[4];
  zv::xpc::EncodeFrameLength(static_cast<std::uint32_t>(zv::xpc::kMaxFrameBytes + 1), oversize);
  const struct {
    const char* name;
    std::string bytes;
    std::string reply;
  } cases[] = {
      {"unknown operation", Frame(zv::xpc::EncodeRequest("noSuchOperation:reply:", std::string_view("x"))),
       "error:unknown operation: noSuchOperation:reply:"},
      {"operation name in another case", Frame(zv::xpc::EncodeRequest("MIBWALK_XPC:reply:", std::nullopt)),
       "error:unknown operation: MIBWALK_XPC:reply:"},
      // One of each kind of bad frame; every malformed payload is WireFormatTest's.
      {"empty payload", Frame(""), "error:malformed request: no zero byte after the operation name"},
      {"invalid UTF-8", Frame(std::string(kExist) + '\0' + '\1' + "/tmp/\xC0\xAF"),
       "error:request text is not valid UTF-8"},
      {"oversized length", std::string(reinterpret_cast<const char*>(oversize), 4) + "xxxx",
       "error:frame of 16777217 bytes exceeds the limit of 16777216 bytes"},
      {"cut short", Frame(zv::xpc::EncodeRequest(kExist, std::string_view("/x"))).substr(0, 9),
       "error:malformed request: the stream ended inside a frame"},
  };
  const zvtest::Client bystander = zvtest::Connect(socket_path());
  ASSERT_TRUE(bystander) << std::strerror(errno);
  for (const auto& c : cases) {
    const int fd = RawConnect(socket_path());
    ASSERT_GE(fd, 0);
    std::string error;
    ASSERT_TRUE(zv::xpc::WriteAllBytes(fd, c.bytes, &error)) << c.name;
    if (std::string(c.name) == "cut short") ::shutdown(fd, SHUT_WR);
    zv::xpc::FrameReader reader(fd);
    EXPECT_EQ(NextReply(reader), c.reply) << c.name;
    EXPECT_EQ(NextReply(reader), "closed") << c.name;
    ::close(fd);
    EXPECT_EQ(CallText(bystander.get(), kExist, dir_.path()), "TRUE") << c.name;
  }
}

TEST_F(ServiceProcessTest, FileRequestsAreServedWhileAWalkWaits) {
  Start({"--log-file", dir_.File("walk.log"), "--preferences-dir", dir_.File("prefs")});
  SilentDevice device;
  std::atomic<bool> walk_replied{false};
  std::string walk_reply;
  std::thread walker([&] {
    walk_reply = Call("mibwalk_XPC:reply:", "M:ModelName:ENDU:USErName:ENDzvxpc:arg:-v2c:arg:-c:arg:public:arg:-t:arg:"
                                            "3:arg:-r:arg:0:arg:" + device.address() + ":arg:");
    walk_replied = true;
  });
  // Once the device has the walk's first request, the file requests must
  // not wait for the walk.
  ASSERT_TRUE(device.AwaitDatagram(10000)) << ReadFile(dir_.File("zvxpcd.stderr"));
  const zvtest::Client client = zvtest::Connect(socket_path());
  ASSERT_TRUE(client);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(CallText(client.get(), kExist, dir_.path()), "TRUE");
  EXPECT_FALSE(walk_replied.load());
  walker.join();
  EXPECT_EQ(walk_reply, "iRet=1");  // timed out
  EXPECT_EQ(zvtest::LogFileLines(dir_.File("walk.log")), std::vector<std::string>{"xpc - mibwalk_XPC - iRet=1"});
}

TEST_F(ServiceProcessTest, SigtermAndSigintEndTheServiceWithExitZero) {
  for (const int stop_signal : {SIGTERM, SIGINT}) {
    Start();
    const zvtest::Client idle = zvtest::Connect(socket_path());
    ASSERT_TRUE(idle);
    ASSERT_EQ(CallText(idle.get(), kExist, std::nullopt), "FALSE");
    service_->process().Signal(stop_signal);
    EXPECT_EQ(service_->process().Wait(10000), 0) << stop_signal;
    EXPECT_FALSE(Exists(socket_path())) << stop_signal;
    // The idle client finds its connection closed and no socket to connect to.
    char* reply = nullptr;
    EXPECT_EQ(zvxpc_call(idle.get(), kExist, nullptr, zvtest::kReplyTimeoutMs, &reply), -1);
    EXPECT_EQ(errno, ENOENT) << stop_signal << ": " << zvxpc_error(idle.get());
  }
}

TEST_F(ServiceProcessTest, SigtermEndsTheServiceThoughAClientReadsNoReplies) {
  Start();
  const int fd = RawConnect(socket_path());
  ASSERT_GE(fd, 0);
  // Requests go out until the socket takes no more: the service is then
  // blocked on replies nobody reads.
  std::string burst;
  for (int i = 0; i < 64; ++i) burst += Frame(zv::xpc::EncodeRequest(kExist, dir_.path()));
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int refused_rounds = 0;
  while (refused_rounds < 20 && std::chrono::steady_clock::now() < give_up) {
    const ssize_t sent = ::send(fd, burst.data(), burst.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    refused_rounds = sent > 0 ? 0 : refused_rounds + 1;
    if (sent <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(refused_rounds, 20) << "the service kept reading";
  service_->process().Signal(SIGTERM);
  EXPECT_EQ(service_->process().Wait(5000), 0);
  ::close(fd);
}

TEST_F(ServiceProcessTest, StaleSocketIsReplacedButALiveServiceIsNot) {
  const std::string path = dir_.File("zvxpcd.sock");
  {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address;
    zv::MakeUnixAddress(path, &address);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // leaves a socket file nobody listens on
  }
  Start();
  EXPECT_EQ(Call(kExist, std::nullopt), "FALSE");

  const zvtest::CommandResult second =
      zvtest::RunCommand({zvtest::ServiceBinary(), "--socket", path});
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_NE(second.err.find("already listening"), std::string::npos) << second.err;
  EXPECT_EQ(Call(kExist, std::nullopt), "FALSE");
}

TEST_F(ServiceProcessTest, FileInTheSocketsPlaceIsLeftAlone) {
  const std::string path = dir_.File("not-a-socket");
  WriteFile(path, "data");
  const zvtest::CommandResult result = zvtest::RunCommand({zvtest::ServiceBinary(), "--socket", path});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("not a socket"), std::string::npos) << result.err;
  EXPECT_EQ(ReadFile(path), "data");
}

TEST_F(ServiceProcessTest, SocketActivationStartsTheServiceOnFirstConnection) {
  const std::string path = dir_.File("activated.sock");
  zvtest::ChildProcess activator;
  ASSERT_TRUE(activator.Start({"/usr/bin/systemd-socket-activate", "-l", path, zvtest::ServiceBinary(),
                               "--idle-exit", "1"},
                              dir_.File("activator.stderr")));
  // The socket file appears at bind, a moment before the activator listens:
  // connect until it accepts.
  zvtest::Client client(nullptr, &zvxpc_close);
  for (int i = 0; i < 1000 && !client; ++i) {
    if (Exists(path)) client = zvtest::Connect(path);
    if (!client) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(client) << ReadFile(dir_.File("activator.stderr"));
  EXPECT_EQ(CallText(client.get(), kExist, dir_.path()), "TRUE") << ReadFile(dir_.File("activator.stderr"));
  client.reset();
  // Idle for a second without connections, the service ends by itself.
  EXPECT_EQ(activator.Wait(15000), 0) << ReadFile(dir_.File("activator.stderr"));
}

}  // namespace
