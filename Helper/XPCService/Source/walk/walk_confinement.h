// SPDX-License-Identifier: MIT
// What the process of one walk may still do, and the two steps that
// confine it.
//
// The process decodes what the network sends, and anyone on the path can
// forge an SNMP answer: it holds nothing of the user's and reaches nothing
// but the printer.
//   1. Before the Net-SNMP library reads anything, and before the job
//      with its pass phrases arrives (ConfineWalkReading): not dumpable,
//      no new privileges, and where the kernel offers Landlock, reading
//      only beneath WalkReadablePaths, no write, create, remove or rename
//      anywhere, and (ABI 6 on) no signal to and no abstract Unix socket
//      of any process outside the walk. The library's configuration, its
//      MIBs and the files MIBS names are read under this.
//   2. Once the printer's name is resolved and the session's transport is
//      open (ConfineWalkRequests), before the first request: resource
//      limits (a few descriptors, no file writes, address space, CPU),
//      every descriptor but the transport's and the message pipe closed,
//      and the system call filter of WalkFilter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/confinement.h"
#include "platform/syscall_filter.h"

namespace zv {

/// Address space of a walk's process (not limited in sanitizer builds,
/// whose shadow memory needs far more): it maps about 15 MB, all MIBs
/// loaded take a few tens more.
inline constexpr uint64_t kWalkAddressSpaceBytes = uint64_t{256} << 20;
/// CPU seconds a walk's process may use beyond its time limit.
inline constexpr uint64_t kWalkCpuMarginSeconds = 10;
/// Descriptors a confined walk may hold: its pipes, standard output and
/// error, the transport's socket, and a few for the library.
inline constexpr uint64_t kWalkDescriptors = 16;

/// What every walk's process may read: Net-SNMP's configuration folders,
/// persistent folder, MIB folders and included configuration
/// (SnmpConfigurationFolders), what name resolution and the C library read
/// (/etc/hosts, /etc/resolv.conf and their like, /run/systemd/resolve),
/// the shared libraries and their modules (/usr/lib, /lib) and OpenSSL's
/// configuration (/etc/ssl, /usr/lib/ssl).
std::vector<std::string> WalkReadablePaths();

/// Step 1, for the rest of the process's life: not dumpable (ForbidDumps),
/// PR_SET_NO_NEW_PRIVS, then (where the kernel has Landlock) reading
/// allowed beneath `readable` alone, every write, create, remove, rename
/// and link refused everywhere, and from Landlock ABI 6 on signals and
/// abstract Unix sockets confined to the process. The process must have
/// one thread. False with a message naming the failing step.
bool ConfineWalkReading(const std::vector<std::string>& readable, std::string* error);

/// The resource limits of step 2 for a walk with `time_limit_seconds`:
/// no core files, files of size 0 (no write reaches a file), at most
/// kWalkDescriptors descriptors, kWalkAddressSpaceBytes of address space,
/// CPU seconds of the time limit and kWalkCpuMarginSeconds.
ResourceLimits WalkResourceLimits(int time_limit_seconds);

/// The system call filter of a confined walk, built ahead of its job. It
/// lets through memory (never executable: mmap and mprotect with
/// PROT_EXEC fail), reading and closing descriptors, opening files for
/// reading only (open and openat with flags beyond O_RDONLY, O_CLOEXEC,
/// O_NONBLOCK, O_DIRECTORY, O_NOFOLLOW, O_LARGEFILE and O_NOCTTY fail, so
/// a kernel without Landlock still writes nothing), fcntl's F_GETFD,
/// F_SETFD, F_GETFL and F_SETFL without O_ASYNC, stat and directory
/// reads, time, its own signals, and on sockets it already has: sending
/// with no address (the transport's socket is connected to the printer),
/// receiving and polling. It refuses with EPERM every other call and
/// argument: socket (of any family), connect, bind, sendmsg, openat2,
/// rename, unlink, mkdir, link, symlink, chmod, truncate, kill, a
/// descriptor's owner or signal (F_SETOWN, F_SETOWN_EX, F_SETSIG), and
/// every ioctl (a walk makes none once confined; FIOASYNC, FIOSETOWN and
/// SIOCSPGRP would have a descriptor signal another process). exec, fork,
/// clone and ptrace end the process.
class WalkFilter {
 public:
  /// Adds the rules. False with a message at the first that fails.
  bool Build(std::string* error);
  /// Loads it (after ForbidNewPrivileges). False with a message.
  bool Load(std::string* error) { return filter_.Load(error); }

 private:
  SyscallFilter filter_;
};

/// Step 2, for the rest of the process's life, with the session's
/// transport socket `transport_fd` open: every descriptor but 1, 2,
/// `report_fd` and `transport_fd` closed, `limits` set, `filter` loaded.
/// False with a message naming the failing step.
bool ConfineWalkRequests(int transport_fd, int report_fd, const ResourceLimits& limits, WalkFilter& filter,
                         std::string* error);

}  // namespace zv
