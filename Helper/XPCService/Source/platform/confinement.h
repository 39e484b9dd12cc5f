// SPDX-License-Identifier: MIT
// Confinement of a short-lived process that handles input from the
// network: no new privileges, resource limits, a system call filter and,
// where the kernel offers it, a Landlock ruleset over the file system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv {

/// What a confined process may still do.
struct ConfinementPlan {
  /// Folders (and everything below) the process may read, write, create
  /// and remove regular files in, and rename files within.
  std::vector<std::string> writable_folders;
  /// Files and folders (with everything below) the process may read.
  /// Paths that do not exist are left out.
  std::vector<std::string> readable_paths;
  /// Limits; 0 leaves that limit as it is.
  uint64_t address_space_bytes = 0;
  uint64_t cpu_seconds = 0;
  uint64_t file_size_bytes = 0;
};

/// The Landlock ABI version the kernel offers; 0 when it offers none (or
/// the system call is filtered out).
int LandlockAbi();

/// A confinement prepared in two steps, so that the work that does not
/// depend on the process's input is done before the input comes.
class ProcessConfinement {
 public:
  ProcessConfinement();
  ~ProcessConfinement();
  ProcessConfinement(const ProcessConfinement&) = delete;
  ProcessConfinement& operator=(const ProcessConfinement&) = delete;

  /// Builds the system call filter and, where the kernel offers Landlock,
  /// a ruleset that lets the process read `readable_paths`. Changes
  /// nothing in the process yet. False with a message.
  bool Prepare(const std::vector<std::string>& readable_paths, std::string* error);

  /// After Prepare: the rest of ConfineProcess with the plan's writable
  /// folders and limits (its readable paths are those given to Prepare).
  bool Apply(const ConfinementPlan& plan, bool* landlock_applied, std::string* error);

 private:
  struct Parts;
  Parts* parts_;
};

/// Confines the calling process for the rest of its life, in this order:
/// no core files and the plan's limits, PR_SET_NO_NEW_PRIVS, the Landlock
/// ruleset (skipped, with `*landlock_applied` false, when the kernel has
/// none), and last the system call filter. The filter allows what a walk
/// needs: files, memory, time, signals to itself, sockets of the Unix,
/// IPv4 and IPv6 families; it ends the process on exec, fork, clone or
/// ptrace, and every other call fails with EPERM. The process must have
/// one thread. False with a message naming the failing step otherwise.
bool ConfineProcess(const ConfinementPlan& plan, bool* landlock_applied, std::string* error);

}  // namespace zv
