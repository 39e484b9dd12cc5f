// SPDX-License-Identifier: MIT
#include "platform/syscall_filter.h"

#include <net/if.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "platform/posix_io.h"

namespace zv {
namespace {

// What any single-threaded program needs: memory, descriptors, files by
// path, time, its own signals and its exit.
constexpr int kAllowed[] = {
    // Memory.
    SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect), SCMP_SYS(madvise),
    // Descriptors and files.
    SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(pwrite64),
    SCMP_SYS(close), SCMP_SYS(lseek), SCMP_SYS(fcntl), SCMP_SYS(dup), SCMP_SYS(dup2), SCMP_SYS(dup3),
    SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(fstat), SCMP_SYS(newfstatat),
    SCMP_SYS(statx), SCMP_SYS(statfs), SCMP_SYS(fstatfs), SCMP_SYS(access), SCMP_SYS(faccessat),
    SCMP_SYS(faccessat2), SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(getdents64), SCMP_SYS(getcwd),
    SCMP_SYS(fadvise64), SCMP_SYS(flock),
    // Changing files (where the file-system rules allow it).
    SCMP_SYS(fsync), SCMP_SYS(fdatasync), SCMP_SYS(ftruncate), SCMP_SYS(rename), SCMP_SYS(renameat),
    SCMP_SYS(renameat2), SCMP_SYS(link), SCMP_SYS(linkat), SCMP_SYS(unlink), SCMP_SYS(unlinkat), SCMP_SYS(mkdir),
    SCMP_SYS(mkdirat), SCMP_SYS(fchmod), SCMP_SYS(fchown), SCMP_SYS(umask),
    // Network I/O on the sockets the filter lets the process make.
    SCMP_SYS(connect), SCMP_SYS(bind), SCMP_SYS(sendto), SCMP_SYS(recvfrom), SCMP_SYS(sendmsg),
    SCMP_SYS(recvmsg), SCMP_SYS(sendmmsg), SCMP_SYS(recvmmsg), SCMP_SYS(getsockname), SCMP_SYS(getpeername),
    SCMP_SYS(setsockopt), SCMP_SYS(getsockopt), SCMP_SYS(shutdown), SCMP_SYS(poll), SCMP_SYS(ppoll),
    SCMP_SYS(select), SCMP_SYS(pselect6),
    // Time, identity, randomness, scheduling.
    SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday), SCMP_SYS(time),
    SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep), SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(getuid),
    SCMP_SYS(geteuid), SCMP_SYS(getgid), SCMP_SYS(getegid), SCMP_SYS(getrandom), SCMP_SYS(uname),
    SCMP_SYS(sysinfo), SCMP_SYS(getrusage), SCMP_SYS(times), SCMP_SYS(sched_yield),
    SCMP_SYS(sched_getaffinity), SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq),
    SCMP_SYS(set_tid_address),
    // Signals and the end.
    SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack),
    SCMP_SYS(restart_syscall), SCMP_SYS(exit), SCMP_SYS(exit_group),
};

// Never wanted: a new program, a new process or thread, another
// process's memory. The process ends at once.
constexpr int kFatal[] = {
    SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork),  SCMP_SYS(vfork),
    SCMP_SYS(clone),  SCMP_SYS(clone3),   SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv),
    SCMP_SYS(process_vm_writev),
};

// The socket families of Net-SNMP's UDP and TCP transports and of name
// resolution (the resolver's own sockets, nscd and systemd-resolved).
constexpr int kSocketFamilies[] = {AF_UNIX, AF_INET, AF_INET6};

// Requests a descriptor's readiness, a terminal test and the interface
// queries of the transports.
constexpr unsigned long kIoctlRequests[] = {FIONREAD,     FIONBIO,       TCGETS,       SIOCGIFCONF,
                                            SIOCGIFFLAGS, SIOCGIFADDR,   SIOCGIFNETMASK, SIOCGIFINDEX,
                                            SIOCGIFMTU};

std::string Failure(const char* step, int status) { return ErrnoText(step, -status); }

// Adds one rule; a call this architecture does not have needs none.
bool Add(scmp_filter_ctx context, uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions,
         std::string* error) {
  const int status =
      seccomp_rule_add_array(context, action, call, static_cast<unsigned>(conditions.size()), conditions.begin());
  if (status == 0 || status == -EDOM) return true;
  *error = Failure("seccomp_rule_add", status);
  return false;
}

bool AddAll(scmp_filter_ctx context, std::string* error) {
  for (const int call : kAllowed) {
    if (!Add(context, SCMP_ACT_ALLOW, call, {}, error)) return false;
  }
  for (const int call : kFatal) {
    if (!Add(context, SCMP_ACT_KILL_PROCESS, call, {}, error)) return false;
  }
  for (const int family : kSocketFamilies) {
    if (!Add(context, SCMP_ACT_ALLOW, SCMP_SYS(socket), {SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(family))},
             error)) {
      return false;
    }
  }
  for (const unsigned long request : kIoctlRequests) {
    if (!Add(context, SCMP_ACT_ALLOW, SCMP_SYS(ioctl), {SCMP_A1(SCMP_CMP_EQ, request)}, error)) return false;
  }
  // Signals only to itself (abort), limits only read.
  const auto self = static_cast<scmp_datum_t>(::getpid());
  return Add(context, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), {SCMP_A0(SCMP_CMP_EQ, self)}, error) &&
         Add(context, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), {SCMP_A2(SCMP_CMP_EQ, 0)}, error);
}

}  // namespace

WalkSyscallFilter::WalkSyscallFilter() : context_(seccomp_init(SCMP_ACT_ERRNO(EPERM))) {}

WalkSyscallFilter::~WalkSyscallFilter() {
  if (context_ != nullptr) seccomp_release(context_);
}

bool WalkSyscallFilter::Build(std::string* error) {
  if (context_ != nullptr) return AddAll(context_, error);
  *error = "seccomp_init failed";
  return false;
}

bool WalkSyscallFilter::Load(std::string* error) {
  const int status = seccomp_load(context_);
  if (status == 0) return true;
  *error = Failure("seccomp_load", status);
  return false;
}

}  // namespace zv
