// SPDX-License-Identifier: MIT
// A helper program started from a threaded process without fork: with
// posix_spawn, its standard input a pipe from the caller and one more
// descriptor a pipe to the caller.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zv {

/// A started helper and the caller's ends of its pipes (close-on-exec).
struct HelperProcess {
  pid_t pid = -1;
  int input_fd = -1;    // write end: the helper's standard input
  int output_fd = -1;   // read end: the helper's descriptor `output_descriptor`
};

/// Starts `program` (argument vector: the program alone) with the
/// environment `environment` ("NAME=VALUE" entries), standard input a pipe that `input_fd`
/// writes, descriptor `output_descriptor` (3 or more) a pipe that
/// `output_fd` reads, standard output on /dev/null, standard error shared,
/// every other descriptor closed, no signal blocked and every signal at its
/// default action. False with a message (the pipes closed) when it could
/// not be started.
bool StartHelper(const std::string& program, const std::vector<std::string>& environment, int output_descriptor,
                 HelperProcess* helper, std::string* error);

/// Closes the caller's pipe ends that are still open (and marks them so).
void CloseHelperPipes(HelperProcess* helper);

/// Waits for the helper to end and reaps it; its wait status.
int ReapHelper(const HelperProcess& helper);

/// Kills the helper (SIGKILL), closes its pipes and reaps it.
void DiscardHelper(HelperProcess* helper);

/// How a process with wait status `status` ended, in words: "exited with
/// status N" or "was killed by signal N (NAME)".
std::string DescribeProcessEnd(int status);

}  // namespace zv
