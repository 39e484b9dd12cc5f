// SPDX-License-Identifier: MIT
// The confinement of a walk's process, applied in a child by the very
// functions the walk's process calls: what it may still do, what it is
// refused (each refusal by the rule that makes it), and what ends it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <netinet/in.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "support/scoped_variable.h"
#include "support/temp_dir.h"
#include "walk/walk_confinement.h"

namespace {

constexpr int kNotConfined = 100;
// A stand-in parent's exit status for a child ended by signal N is this
// and N.
constexpr int kSignalled = 128;

// Which steps of the confinement a child takes.
enum class Steps { kReadingOnly, kRequestsOnly, kBoth };

// 0 when a call succeeded, else its errno.
int Outcome(bool succeeded) { return succeeded ? 0 : errno; }

int OpenFor(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
  return Outcome(fd >= 0);
}

// A UDP socket connected to a port on 127.0.0.1 that nobody reads.
int ConnectedUdpSocket() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(9);
  (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  return fd;
}

class WalkConfinementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"snmp", "mibs", "persist", "prefs", "home"}) {
      ASSERT_EQ(::mkdir(dir_.File(folder).c_str(), 0700), 0);
    }
    zvtest::WriteFile(dir_.File("snmp/snmp.conf"), "mibs :\n");
    zvtest::WriteFile(dir_.File("prefs/u-m-profile.plist"), "list");
    zvtest::WriteFile(dir_.File("home/secret"), "x");
  }

  // Runs `body` in a child confined by `steps`, with the walk's readable
  // paths as they are in an environment whose Net-SNMP folders lie in the
  // test's folder. `kept` stays open as the transport's socket. The
  // child's wait status; its exit status is the body's return value.
  int RunConfined(Steps steps, const std::function<int(int kept)>& body, int kept = -1) {
    zvtest::ScopedVariable configuration("SNMPCONFPATH", dir_.File("snmp"));
    zvtest::ScopedVariable persistent("SNMP_PERSISTENT_DIR", dir_.File("persist"));
    zvtest::ScopedVariable mibs("MIBDIRS", dir_.File("mibs"));
    zvtest::ScopedVariable home("HOME", dir_.File("home"));
    if (kept < 0) kept = ConnectedUdpSocket();
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(ConfineAndRun(steps, body, kept));
    ::close(kept);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  // The child's exit status for `body` run under `steps`; minus the signal
  // that ended it.
  int ExitStatus(Steps steps, const std::function<int(int kept)>& body, int kept = -1) {
    const int status = RunConfined(steps, body, kept);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  // ExitStatus with a process of the test's own, which does nothing but
  // wait, standing in as the confined child's parent: a signal the child
  // gets through to its parent ends that stand-in (-SIGKILL) and nothing
  // else.
  int ExitStatusUnderStandInParent(Steps steps, const std::function<int(int kept)>& body) {
    const pid_t stand_in = ::fork();
    if (stand_in == 0) {
      const int status = ExitStatus(steps, body);
      ::_exit(status >= 0 ? status : kSignalled - status);
    }
    int status = 0;
    ::waitpid(stand_in, &status, 0);
    if (!WIFEXITED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status) >= kSignalled ? kSignalled - WEXITSTATUS(status) : WEXITSTATUS(status);
  }

  static int ConfineAndRun(Steps steps, const std::function<int(int kept)>& body, int kept) {
    std::string error;
    zv::WalkFilter filter;
    const bool confined =
        (steps == Steps::kRequestsOnly ? zv::ForbidNewPrivileges(&error)
                                       : zv::ConfineWalkReading(zv::WalkReadablePaths(), &error)) &&
        (steps == Steps::kReadingOnly ||
         (filter.Build(&error) && zv::ConfineWalkRequests(kept, STDERR_FILENO, zv::WalkResourceLimits(5), filter,
                                                          &error)));
    if (!confined) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return kNotConfined;
    }
    return body(kept);
  }

  zvtest::TempDir dir_;
};

TEST_F(WalkConfinementTest, ReadingIsAllTheFileSystemAllowsAndOnlyBeneathTheWalksFolders) {
  if (zv::LandlockAbi() == 0) GTEST_SKIP() << "the kernel offers no Landlock";
  const struct {
    const char* what;
    std::function<int(int)> call;
    int expected;
  } cases[] = {
      {"read the configuration", [&](int) { return OpenFor(dir_.File("snmp/snmp.conf"), O_RDONLY); }, 0},
      {"read the home folder", [&](int) { return OpenFor(dir_.File("home/secret"), O_RDONLY); }, EACCES},
      {"read the list's folder", [&](int) { return OpenFor(dir_.File("prefs/u-m-profile.plist"), O_RDONLY); }, EACCES},
      {"write in the list's folder",
       [&](int) { return OpenFor(dir_.File("prefs/x"), O_WRONLY | O_CREAT); }, EACCES},
      {"write a readable file", [&](int) { return OpenFor(dir_.File("snmp/snmp.conf"), O_WRONLY); }, EACCES},
      {"make a folder", [&](int) { return Outcome(::mkdir(dir_.File("snmp/d").c_str(), 0700) == 0); }, EACCES},
  };
  for (const auto& c : cases) EXPECT_EQ(ExitStatus(Steps::kReadingOnly, c.call), c.expected) << c.what;
}

TEST_F(WalkConfinementTest, TheWalkForbidsItselfNewPrivilegesAndDumpsBeforeAnythingElse) {
  // Checked apart from the filter, which would set the first flag by
  // itself if it were let to.
  EXPECT_EQ(ExitStatus(Steps::kReadingOnly, [](int) { return ::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) == 1 ? 0 : 1; }),
            0);
  EXPECT_EQ(ExitStatus(Steps::kReadingOnly, [](int) { return ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0 ? 0 : 1; }), 0);
}

TEST_F(WalkConfinementTest, TheFilterRefusesWritesSocketsAndExecutableMemoryEvenWithoutLandlock) {
  const std::string list = dir_.File("prefs/u-m-profile.plist");
  const struct {
    const char* what;
    std::function<int(int)> call;
    int expected;
  } cases[] = {
      {"open the list for writing", [&](int) { return OpenFor(list, O_WRONLY); }, EPERM},
      {"create beside it", [&](int) { return OpenFor(dir_.File("prefs/x"), O_RDWR | O_CREAT); }, EPERM},
      {"truncate it", [&](int) { return OpenFor(list, O_RDONLY | O_TRUNC); }, EPERM},
      {"create for reading", [&](int) { return OpenFor(dir_.File("prefs/y"), O_RDONLY | O_CREAT); }, EPERM},
      {"list a folder", [&](int) { return OpenFor(dir_.File("prefs"), O_RDONLY | O_DIRECTORY | O_NONBLOCK); }, 0},
      {"read it (Landlock's to refuse)", [&](int) { return OpenFor(list, O_RDONLY); }, 0},
      {"rename it", [&](int) { return Outcome(::rename(list.c_str(), (list + ".x").c_str()) == 0); }, EPERM},
      {"remove it", [&](int) { return Outcome(::unlink(list.c_str()) == 0); }, EPERM},
      {"make a folder", [&](int) { return Outcome(::mkdir(dir_.File("prefs/d").c_str(), 0700) == 0); }, EPERM},
      {"a Unix socket", [](int) { return Outcome(::socket(AF_UNIX, SOCK_STREAM, 0) >= 0); }, EPERM},
      {"an IPv4 socket", [](int) { return Outcome(::socket(AF_INET, SOCK_DGRAM, 0) >= 0); }, EPERM},
      {"executable memory", [](int) {
         void* page = ::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
         return Outcome(page != MAP_FAILED);
       }, EPERM},
      {"memory made executable", [](int) {
         void* page = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
         return page == MAP_FAILED ? 1 : Outcome(::mprotect(page, 4096, PROT_READ | PROT_EXEC) == 0);
       }, EPERM},
      {"send to the printer", [](int kept) { return Outcome(::send(kept, "x", 1, 0) == 1); }, 0},
      {"send elsewhere", [](int kept) {
         sockaddr_in elsewhere{};
         elsewhere.sin_family = AF_INET;
         elsewhere.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
         elsewhere.sin_port = htons(10);
         return Outcome(::sendto(kept, "x", 1, 0, reinterpret_cast<sockaddr*>(&elsewhere), sizeof elsewhere) == 1);
       }, EPERM},
      {"more descriptors than the limit", [](int kept) {
         for (uint64_t i = 0; i < zv::kWalkDescriptors; ++i) {
           if (::dup(kept) < 0) return errno;
         }
         return 0;
       }, EMFILE},
  };
  for (const auto& c : cases) EXPECT_EQ(ExitStatus(Steps::kRequestsOnly, c.call), c.expected) << c.what;
}

// The ways a process has of having the kernel signal another: each by
// itself, on the transport's socket.
int SetOwner(int fd) { return Outcome(::fcntl(fd, F_SETOWN, ::getppid()) == 0); }
int SetOwnerEx(int fd) {
  const f_owner_ex owner{F_OWNER_PID, ::getppid()};
  return Outcome(::fcntl(fd, F_SETOWN_EX, &owner) == 0);
}
int SetSignal(int fd) { return Outcome(::fcntl(fd, F_SETSIG, SIGKILL) == 0); }
int SetAsync(int fd) { return Outcome(::fcntl(fd, F_SETFL, O_NONBLOCK | O_ASYNC) == 0); }
int IoctlAsync(int fd) {
  int on = 1;
  return Outcome(::ioctl(fd, FIOASYNC, &on) == 0);
}
int KillParent(int) { return Outcome(::kill(::getppid(), SIGKILL) == 0); }

// All of them at once on a pipe of its own: the parent is the owner of the
// read end, and the write asks the kernel for a SIGKILL to it.
int SignalParentThroughPipe(int) {
  int ends[2];
  if (::pipe(ends) != 0) return errno;
  int on = 1;
  const bool armed = ::fcntl(ends[0], F_SETOWN, ::getppid()) == 0 && ::fcntl(ends[0], F_SETSIG, SIGKILL) == 0 &&
                     ::ioctl(ends[0], FIOASYNC, &on) == 0;
  return armed && ::write(ends[1], "x", 1) == 1 ? 0 : errno;
}

TEST_F(WalkConfinementTest, NoSignalLeavesTheWalk) {
  const struct {
    const char* what;
    int (*call)(int);
  } refused_by_filter[] = {
      {"F_SETOWN", SetOwner},
      {"F_SETOWN_EX", SetOwnerEx},
      {"F_SETSIG", SetSignal},
      {"F_SETFL O_ASYNC", SetAsync},
      {"FIOASYNC", IoctlAsync},
      {"kill the parent", KillParent},
  };
  for (const auto& c : refused_by_filter) {
    EXPECT_EQ(ExitStatusUnderStandInParent(Steps::kRequestsOnly, c.call), EPERM) << c.what;
  }
  EXPECT_EQ(ExitStatusUnderStandInParent(Steps::kRequestsOnly, [](int fd) {
              return Outcome(::fcntl(fd, F_SETFL, O_NONBLOCK) == 0 && (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0);
            }),
            0)
      << "F_SETFL without O_ASYNC";
  if (zv::LandlockAbi() < 6) GTEST_SKIP() << "the kernel's Landlock has no scopes";
  // Landlock alone: the signal is refused, or never sent.
  EXPECT_EQ(ExitStatusUnderStandInParent(Steps::kReadingOnly, KillParent), EPERM);
  EXPECT_EQ(ExitStatusUnderStandInParent(Steps::kReadingOnly, SignalParentThroughPipe), 0);
}

TEST_F(WalkConfinementTest, LandlockRefusesTheAbstractSocketsOfOtherProcesses) {
  if (zv::LandlockAbi() < 6) GTEST_SKIP() << "the kernel's Landlock has no scopes";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name = "zv-walk-confinement-" + std::to_string(::getpid());
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  EXPECT_EQ(ExitStatus(Steps::kReadingOnly, [&](int) {
              const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
              return Outcome(::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0);
            }),
            EPERM);
  ::close(listener);
}

TEST_F(WalkConfinementTest, BothStepsTogetherLeaveOnlyTheTransportToTheNetwork) {
  // A Unix socket made before the confinement, kept as if it were the
  // transport, and a listener to connect to: the walk may not.
  const std::string path = dir_.File("prefs/s");
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  const int unconnected = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  EXPECT_EQ(ExitStatus(Steps::kBoth, [&](int kept) {
              return Outcome(::connect(kept, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
            }, unconnected),
            EPERM);
  ::close(listener);
  // A write past the file-size limit through a descriptor it was handed.
  const int file = ::open(dir_.File("prefs/big").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  EXPECT_EQ(ExitStatus(Steps::kBoth, [](int kept) {
              ::signal(SIGXFSZ, SIG_IGN);
              return Outcome(::lseek(kept, 1, SEEK_SET) == 1 && ::write(kept, "x", 1) == 1);
            }, file),
            EFBIG);
  // Every other descriptor is gone.
  const int other = ::open(dir_.File("snmp/snmp.conf").c_str(), O_RDONLY);
  EXPECT_EQ(ExitStatus(Steps::kBoth, [other](int) { return Outcome(::fcntl(other, F_GETFD) >= 0); }), EBADF);
  ::close(other);
}

TEST_F(WalkConfinementTest, NewProgramsAndProcessesEndTheProcess) {
  const std::function<int(int)> forbidden[] = {
      [](int) {
        char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execv("/bin/true", argv);
        return 0;
      },
      [](int) { return ::fork() < 0 ? 1 : 0; },
  };
  for (const auto& call : forbidden) EXPECT_EQ(ExitStatus(Steps::kBoth, call), -SIGSYS);
}

}  // namespace
