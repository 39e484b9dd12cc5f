// SPDX-License-Identifier: MIT
// Walk programs that break every rule of a walk's process, each given to
// the real zvxpcd with --walk-program: whatever they do, their walk
// answers iRet=1 by its deadline, the profile list keeps its bytes, every
// log entry stays one line, the service's memory stays bounded, it goes on
// answering, and it stops within a second of SIGTERM. What such a program
// says of its device or of what it found is not believed, and one that
// outlives its kill is reaped once it ends.
#include <poll.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include "service_calls.h"
#include "store/zvplist.h"
#include "support/scoped_variable.h"
#include "walk_service.h"
#include "zvxpc.h"

namespace {

using Clock = std::chrono::steady_clock;

// The service's peak resident memory in kB (VmHWM).
long PeakMemoryKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

class HostileWalkTest : public zvtest::WalkServiceTest {
 protected:
  void StartWith(const std::string& mode, const std::string& out_file = "asked") {
    zvtest::ScopedVariable hostile("ZVTEST_HOSTILE", mode);
    zvtest::ScopedVariable socket("ZVTEST_SOCKET", dir_.File("zvxpcd.sock"));
    zvtest::ScopedVariable out("ZVTEST_OUT", dir_.File(out_file));
    StartService(/*default_directory=*/false, {"--walk-timeout", "1", "--verbose", "--walk-program", ZV_HOSTILE_WALK});
  }

  // A walk request with arguments long enough that its job does not fit a
  // pipe: a process that never reads it must not hold the service.
  std::string HostileWalk() { return Walk("PX-100", "alice", HostileArguments()); }
  static std::vector<std::string> HostileArguments() {
    return {std::string(100000, 'a'), "127.0.0.1:9", zvtest::ProfileTableOid()};
  }
};

TEST_F(HostileWalkTest, WhateverTheWalksProcessDoesTheServiceGoesOnAndTheListStays) {
  const std::string modes[] = {
      "exits at once",
      "never reads its job",
      "closes its descriptor and lives",
      "leaves a child holding its descriptor",
      "floods it with 64 MiB of garbage",
      "sends one oversized message",
      "sends result -3",
      "sends a note with a line feed",
      "sends a state with a MIBS path",
      "sends 501 rows",
      "sends a row with a 40-byte name",
  };
  // A list with a profile in the menu: a walk merged as failed would take
  // it out, so unchanged bytes show that nothing was merged.
  const std::string list = CurrentPlist("alice", "PX-100");
  auto lists = std::make_unique<ProfileList[]>(3);
  lists[0].slots[0].InMenu = ZV_INMENU_REPORTED;
  lists[0].slots[0].Location = 4;
  std::strcpy(lists[0].slots[0].FileName, "A.ICC");
  lists[0].iNum = 1;
  ASSERT_EQ(zvplist_write(list.c_str(), &lists[0], &lists[1], &lists[2], nullptr), 0);
  const std::string before = zvtest::ReadFile(list);
  for (const std::string& mode : modes) {
    SCOPED_TRACE(mode);
    StartWith(mode);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(HostileWalk(), "iRet=1") << ServiceStderr();
    // Its deadline: the time limit of 1 s and 2 s of grace.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
    EXPECT_EQ(zvtest::SendWalkRequest(socket_path(), std::nullopt), "iRet=-1");  // the service still answers
    EXPECT_EQ(zvtest::ReadFile(list), before);
    // One result line for each of the two requests, whatever the walk's
    // process put in its notes: an entry is one line.
    int results = 0;
    for (const std::string& line : LogLines()) results += line.rfind("xpc - mibwalk_XPC - iRet=", 0) == 0;
    EXPECT_EQ(results, 2);
    EXPECT_LT(PeakMemoryKb(service_->process().pid()), 64 * 1024);
    // And a stop within a second, with another such walk in progress.
    auto walk = std::async(std::launch::async, [this] { return HostileWalk(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    service_->process().Signal(SIGTERM);
    const Clock::time_point stop = Clock::now();
    EXPECT_EQ(service_->process().Wait(2000), 0);
    std::printf("%s: stopped in %.0f ms\n", mode.c_str(),
                std::chrono::duration<double, std::milli>(Clock::now() - stop).count());
    walk.wait();
    service_.reset();
    std::remove(dir_.File("walk.log").c_str());
  }
}

TEST_F(HostileWalkTest, AWalksProcessThatConnectsToTheServiceIsRefused) {
  StartWith("asks the service");
  const std::string list = CurrentPlist("alice", "PX-100");
  auto walk = std::async(std::launch::async, [this] { return HostileWalk(); });
  for (int waited = 0; !zvtest::Exists(dir_.File("asked")) && waited < 5000; waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(zvtest::ReadFile(dir_.File("asked")), "refused");
  EXPECT_EQ(walk.get(), "iRet=1");
}

// The device a walk names and what a completed walk found are the
// service's own words: what the walk's process says of them reaches
// neither the client nor the log.
TEST_F(HostileWalkTest, ItsDeviceAndWhatItFoundAreTheServicesOwnWords) {
  StartWith("lies about its device and what it found");
  const std::string found = "no row of the profile table (is its OID the last walk argument?)";
  EXPECT_EQ(zvtest::CallOnce(socket_path(), ZVXPC_OP_WALK_EXPLAINED,
                             zvtest::WalkRequestText("PX-100", "alice", {"127.0.0.1:9", zvtest::ProfileTableOid()})),
            "iRet=0" ZVXPC_REASON_MARKER + found + ZVXPC_LIST_MARKER ZVXPC_LIST_WORD_SAVED);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "xpc - mibwalk_XPC - iRet=0",
                            "xpc - mibwalk_XPC - user 'alice' model 'PX-100' device '127.0.0.1:9' iRet=0: " + found,
                        }));
}

// The pid a walk's process writes to the FIFO `path`, once it opens it.
pid_t ReadPid(const std::string& path) {
  std::ifstream fifo(path);
  pid_t pid = -1;
  fifo >> pid;
  return pid;
}

// A walk's process that outlives its kill (here: traced, it stops at its
// exit) holds up no reply, and the service waits for it as long as it
// takes: once let go, it is reaped, and no zombie is left.
TEST_F(HostileWalkTest, AProcessThatOutlivesItsKillHoldsNoReplyAndIsReapedOnceItEnds) {
  ASSERT_EQ(::mkfifo(dir_.File("pid").c_str(), 0600), 0);
  StartWith("reports its pid", "pid");
  auto walk = std::async(std::launch::async, [this] { return HostileWalk(); });
  const pid_t pid = ReadPid(dir_.File("pid"));
  ASSERT_GT(pid, 0);
  if (::ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACEEXIT) != 0) {
    const std::string why = std::strerror(errno);
    walk.wait();
    GTEST_SKIP() << "the walk's process cannot be traced here: " << why;
  }
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  ASSERT_GE(pidfd, 0);
  EXPECT_EQ(walk.get(), "iRet=1");
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, __WALL), pid);
  EXPECT_EQ(status >> 8, SIGTRAP | (PTRACE_EVENT_EXIT << 8)) << "killed, it stops at its exit";
  // Held through one more walk from start to end (whose process waits on
  // the FIFO until its deadline).
  EXPECT_EQ(HostileWalk(), "iRet=1");
  ASSERT_EQ(::ptrace(PTRACE_DETACH, pid, nullptr, nullptr), 0);
  // Its pidfd hangs up once it is reaped.
  pollfd reaped = {pidfd, POLLHUP, 0};
  EXPECT_EQ(::poll(&reaped, 1, 10000), 1);
  EXPECT_FALSE(zvtest::Exists("/proc/" + std::to_string(pid)));
  ::close(pidfd);
}

}  // namespace
