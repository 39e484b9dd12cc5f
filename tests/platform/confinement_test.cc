// SPDX-License-Identifier: MIT
// The confinement of a walk's process, tried in a child process confined
// with a plan like the walk's: what it may still do, what it is refused,
// and what ends it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/confinement.h"
#include "support/temp_dir.h"

namespace {

constexpr int kNotConfined = 100;

// Runs `body` in a child confined by `plan`; the child's wait status. The
// body's return value is the child's exit status.
int RunConfined(const zv::ConfinementPlan& plan, const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    bool landlock = false;
    std::string error;
    if (!zv::ConfineProcess(plan, &landlock, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      ::_exit(kNotConfined);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// 0 when `call` succeeded, else its errno.
int Outcome(bool succeeded) { return succeeded ? 0 : errno; }

int CreateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
  return Outcome(fd >= 0);
}

int ReadFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  return Outcome(fd >= 0);
}

int MakeSocket(int family) {
  const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) ::close(fd);
  return Outcome(fd >= 0);
}

class ConfinementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writable_ = dir_.File("prefs");
    readable_ = dir_.File("snmp");
    elsewhere_ = dir_.File("elsewhere");
    for (const std::string* folder : {&writable_, &readable_, &elsewhere_}) {
      ASSERT_EQ(::mkdir(folder->c_str(), 0700), 0);
    }
    zvtest::WriteFile(writable_ + "/list.plist", "old");
    zvtest::WriteFile(readable_ + "/snmp.conf", "mibs :");
    zvtest::WriteFile(elsewhere_ + "/secret", "x");
    plan_.writable_folders = {writable_};
    plan_.readable_paths = {readable_, dir_.File("missing")};
    plan_.file_size_bytes = 1 << 20;
  }

  zvtest::TempDir dir_;
  std::string writable_, readable_, elsewhere_;
  zv::ConfinementPlan plan_;
};

TEST_F(ConfinementTest, FilesOutsideThePlanAreRefusedWhereLandlockIsPresent) {
  const bool landlock = zv::LandlockAbi() > 0;
  const int refused = landlock ? EACCES : 0;
  const struct {
    const char* what;
    std::function<int()> call;
    int expected;
  } cases[] = {
      {"write in the writable folder", [&] { return CreateFile(writable_ + "/new.plist"); }, 0},
      {"rename within it", [&] { return Outcome(::rename((writable_ + "/new.plist").c_str(),
                                                         (writable_ + "/list.plist").c_str()) == 0); }, 0},
      {"read a readable file", [&] { return ReadFile(readable_ + "/snmp.conf"); }, 0},
      {"write a readable file", [&] { return CreateFile(readable_ + "/snmp.conf"); }, refused},
      {"write elsewhere", [&] { return CreateFile(elsewhere_ + "/new"); }, refused},
      {"read elsewhere", [&] { return ReadFile(elsewhere_ + "/secret"); }, refused},
      {"an IPv4 socket", [] { return MakeSocket(AF_INET); }, 0},
      {"an IPv6 socket", [] { return MakeSocket(AF_INET6); }, 0},
      {"a packet socket", [] { return MakeSocket(AF_PACKET); }, EPERM},
      {"a netlink socket", [] { return MakeSocket(AF_NETLINK); }, EPERM},
      {"a file past the size limit", [&] {
         ::signal(SIGXFSZ, SIG_IGN);
         const int fd = ::open((writable_ + "/big").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
         return Outcome(fd >= 0 && ::pwrite(fd, "x", 1, 2 << 20) == 1);
       }, EFBIG},
  };
  for (const auto& c : cases) {
    const int status = RunConfined(plan_, c.call);
    ASSERT_TRUE(WIFEXITED(status)) << c.what;
    EXPECT_EQ(WEXITSTATUS(status), c.expected) << c.what;
  }
  EXPECT_EQ(zvtest::ReadFile(writable_ + "/list.plist"), "");  // the renamed new file
  EXPECT_FALSE(zvtest::Exists(elsewhere_ + "/new") && landlock);
}

TEST_F(ConfinementTest, NewProgramsAndProcessesEndTheProcess) {
  const std::function<int()> forbidden[] = {
      [] {
        char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execv("/bin/true", argv);
        return 0;
      },
      [] { return ::fork() < 0 ? 1 : 0; },
  };
  for (const auto& call : forbidden) {
    const int status = RunConfined(plan_, call);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGSYS);
  }
}

}  // namespace
