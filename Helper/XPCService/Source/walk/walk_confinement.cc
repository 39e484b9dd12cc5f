// SPDX-License-Identifier: MIT
#include "walk/walk_confinement.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <initializer_list>

#include "platform/landlock_rules.h"
#include "platform/posix_io.h"
#include "report/snmp_configuration.h"

// Sanitizer builds reserve far more address space than any limit a walk
// would be given (GCC says so with __SANITIZE_ADDRESS__, clang with
// __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define ZV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_ADDRESS_SANITIZER 1
#endif
#endif

namespace zv {
namespace {

// Files of the C library's name resolution, the dynamic loader, the
// shared libraries with their modules (NSS, OpenSSL providers) and
// OpenSSL's configuration.
constexpr const char* kSystemReadablePaths[] = {
    "/etc/hosts",     "/etc/resolv.conf", "/etc/nsswitch.conf", "/etc/host.conf", "/etc/gai.conf",
    "/etc/services",  "/etc/protocols",   "/etc/ld.so.cache",   "/etc/ssl",       "/usr/lib",
    "/lib",           "/run/systemd/resolve",
};

// What any single-threaded program needs that holds nothing to write to:
// memory (its protection checked apart), reading and closing descriptors,
// file status, time, its own signals and its end.
constexpr int kAllowed[] = {
    // Memory.
    SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise),
    // Descriptors: reading, writing the pipes and sockets it has, closing.
    SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(close),
    SCMP_SYS(lseek), SCMP_SYS(dup), SCMP_SYS(dup2), SCMP_SYS(dup3),
    // Files, looked at.
    SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(fstat), SCMP_SYS(newfstatat), SCMP_SYS(statx), SCMP_SYS(statfs),
    SCMP_SYS(fstatfs), SCMP_SYS(access), SCMP_SYS(faccessat), SCMP_SYS(faccessat2), SCMP_SYS(readlink),
    SCMP_SYS(readlinkat), SCMP_SYS(getdents64), SCMP_SYS(getcwd),
    // The sockets it has: receiving, waiting, and their settings.
    SCMP_SYS(recvfrom), SCMP_SYS(recvmsg), SCMP_SYS(recvmmsg), SCMP_SYS(getsockname), SCMP_SYS(getpeername),
    SCMP_SYS(setsockopt), SCMP_SYS(getsockopt), SCMP_SYS(shutdown), SCMP_SYS(poll), SCMP_SYS(ppoll),
    SCMP_SYS(select), SCMP_SYS(pselect6),
    // Time, identity, randomness, scheduling.
    SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday), SCMP_SYS(time),
    SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep), SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(getppid),
    SCMP_SYS(getuid), SCMP_SYS(geteuid), SCMP_SYS(getgid), SCMP_SYS(getegid), SCMP_SYS(getrandom),
    SCMP_SYS(uname), SCMP_SYS(sysinfo), SCMP_SYS(getrusage), SCMP_SYS(times), SCMP_SYS(sched_yield),
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

// The open flags of reading a file or a folder, and of how its descriptor
// behaves. An open with any other flag (for writing, creating, truncating,
// appending, a path-only or unnamed file, and every flag a later kernel
// adds) is refused. Flags are an int: the kernel reads their low 32 bits.
constexpr scmp_datum_t kReadingOpenFlags =
    O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_DIRECTORY | O_NOFOLLOW | O_LARGEFILE | O_NOCTTY;
constexpr scmp_datum_t kOtherOpenFlags = 0xFFFFFFFFU & ~kReadingOpenFlags;

// The descriptor commands it uses: the close-on-exec flag and the status
// flags, set never with O_ASYNC, which has the kernel signal the
// descriptor's owner. Owners, signals, leases, locks and duplicates are
// refused, so no descriptor can be made to signal another process.
constexpr scmp_datum_t kDescriptorCommands[] = {F_GETFD, F_SETFD, F_GETFL};

bool AllowDescriptorCommands(SyscallFilter& filter, std::string* error) {
  for (const scmp_datum_t command : kDescriptorCommands) {
    if (!filter.Allow(SCMP_SYS(fcntl), {SCMP_A1(SCMP_CMP_EQ, command)}, error)) return false;
  }
  return filter.Allow(SCMP_SYS(fcntl), {SCMP_A1(SCMP_CMP_EQ, F_SETFL), SCMP_A2(SCMP_CMP_MASKED_EQ, O_ASYNC, 0)},
                      error);
}

// Opens for reading only, and memory that is never executable.
bool AllowReadingOpensAndPlainMemory(SyscallFilter& filter, std::string* error) {
  return filter.Allow(SCMP_SYS(open), {SCMP_A1(SCMP_CMP_MASKED_EQ, kOtherOpenFlags, 0)}, error) &&
         filter.Allow(SCMP_SYS(openat), {SCMP_A2(SCMP_CMP_MASKED_EQ, kOtherOpenFlags, 0)}, error) &&
         filter.Allow(SCMP_SYS(mmap), {SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)}, error) &&
         filter.Allow(SCMP_SYS(mprotect), {SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)}, error);
}

// Sending only where the socket is connected to (no address given), and
// signals only to itself (abort), limits only read.
bool AllowSendingAndSignalsToItself(SyscallFilter& filter, std::string* error) {
  const auto self = static_cast<scmp_datum_t>(::getpid());
  return filter.Allow(SCMP_SYS(sendto), {SCMP_A4(SCMP_CMP_EQ, 0)}, error) &&
         filter.Allow(SCMP_SYS(tgkill), {SCMP_A0(SCMP_CMP_EQ, self)}, error) &&
         filter.Allow(SCMP_SYS(prlimit64), {SCMP_A2(SCMP_CMP_EQ, 0)}, error);
}

bool CloseAllBut(std::vector<int> kept) {
  kept.push_back(-1);  // below every descriptor: the first range starts at 0
  std::sort(kept.begin(), kept.end());
  kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const unsigned first = static_cast<unsigned>(kept[i] + 1);
    const unsigned last = i + 1 < kept.size() ? static_cast<unsigned>(kept[i + 1] - 1) : ~0U;
    if (first <= last && ::close_range(first, last, 0) != 0) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> WalkReadablePaths() {
  std::vector<std::string> paths = SnmpConfigurationFolders();
  paths.insert(paths.end(), std::begin(kSystemReadablePaths), std::end(kSystemReadablePaths));
  return paths;
}

bool ConfineWalkReading(const std::vector<std::string>& readable, std::string* error) {
  if (!ForbidDumps(error) || !ForbidNewPrivileges(error)) return false;
  const int abi = LandlockAbi();
  if (abi == 0) return true;
  LandlockRuleset ruleset;
  return ruleset.Create(abi, error) && ruleset.AllowReading(readable, error) && ruleset.Enforce(error);
}

ResourceLimits WalkResourceLimits(int time_limit_seconds) {
  ResourceLimits limits;
#if !defined(ZV_ADDRESS_SANITIZER)
  limits.address_space_bytes = kWalkAddressSpaceBytes;
#endif
  limits.cpu_seconds = static_cast<uint64_t>(std::max(time_limit_seconds, 1)) + kWalkCpuMarginSeconds;
  // RLIMIT_FSIZE 0 means no limit to setrlimit's caller here; one byte
  // lets nothing but an empty file be written.
  limits.file_size_bytes = 1;
  limits.descriptors = kWalkDescriptors;
  return limits;
}

bool WalkFilter::Build(std::string* error) {
  for (const int call : kAllowed) {
    if (!filter_.Allow(call, {}, error)) return false;
  }
  for (const int call : kFatal) {
    if (!filter_.KillOn(call, error)) return false;
  }
  return AllowDescriptorCommands(filter_, error) && AllowReadingOpensAndPlainMemory(filter_, error) &&
         AllowSendingAndSignalsToItself(filter_, error);
}

bool ConfineWalkRequests(int transport_fd, int report_fd, const ResourceLimits& limits, WalkFilter& filter,
                         std::string* error) {
  if (!CloseAllBut({STDOUT_FILENO, STDERR_FILENO, report_fd, transport_fd})) {
    *error = ErrnoText("close_range", errno);
    return false;
  }
  return SetResourceLimits(limits, error) && filter.Load(error);
}

}  // namespace zv
