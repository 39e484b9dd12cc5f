// SPDX-License-Identifier: MIT
// A helper program started from a threaded process without fork: with
// posix_spawn, its standard input a pipe from the caller and one more
// descriptor a pipe to the caller, watched through a pidfd.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zv {

/// A started helper and the caller's descriptors of it (close-on-exec).
struct HelperProcess {
  pid_t pid = -1;
  int input_fd = -1;   // write end: the helper's standard input
  int output_fd = -1;  // read end: the helper's descriptor `output_descriptor`
  int pidfd = -1;      // readable once the helper has ended
};

/// Starts `program` with `arguments` after its name and the environment
/// `environment` ("NAME=VALUE" entries): standard input a pipe that
/// `input_fd` writes, descriptor `output_descriptor` (3 or more) a pipe
/// that `output_fd` reads, standard output and error on /dev/null, every
/// other descriptor closed, no signal blocked and every signal at its
/// default action. False with a message (nothing left open) when it could
/// not be started.
bool StartHelper(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, int output_descriptor, HelperProcess* helper,
                 std::string* error);

/// Closes the caller's pipe ends that are still open (and marks them so).
void CloseHelperPipes(HelperProcess* helper);

/// True once the helper has ended (it may not be reaped yet).
bool HelperEnded(const HelperProcess& helper);

/// Reaps the helper if it has ended, without waiting: true with its wait
/// status in `*status` (its pidfd closed, its pid forgotten); false, with
/// nothing changed, while it runs or cannot be reaped yet (a tracer holds
/// it). A process that is never reaped stays a zombie for the caller's life.
bool ReapEndedHelper(HelperProcess* helper, int* status);

/// Kills the helper (SIGKILL), closes its descriptors and waits for its
/// end, however long that takes: only for a helper that was just started.
void DiscardHelper(HelperProcess* helper);

/// How a process with wait status `status` ended, in words: "exited with
/// status N" or "was killed by signal N (NAME)".
std::string DescribeProcessEnd(int status);

}  // namespace zv
