// SPDX-License-Identifier: MIT
// Running the real zvxpcd (and zvxpc) binaries from a test.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace zvtest {

/// Path of the zvxpcd and zvxpc binaries of this build.
std::string ServiceBinary();
std::string ClientBinary();

/// A running child process; killed (SIGKILL) and reaped on destruction if
/// it still runs.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  /// Starts `argv` (argv[0] is the program path) with its standard error
  /// appended to `stderr_path` (when not empty). False when fork failed.
  bool Start(const std::vector<std::string>& argv, const std::string& stderr_path = "");
  /// Sends `signal` to the child.
  void Signal(int signal);
  /// Waits up to `timeout_ms` for the child to end; its exit code, or
  /// nullopt when it did not end in time or ended by a signal.
  std::optional<int> Wait(int timeout_ms);
  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

/// Waits up to `timeout_ms` until a connection to the socket at `path`
/// succeeds. Makes one connection when it does (which the service serves
/// and sees closed).
bool WaitForSocket(const std::string& path, int timeout_ms);

/// zvxpcd on a socket in `dir`, started with `extra` options; also writes
/// its standard error to dir/zvxpcd.stderr.
class ServiceProcess {
 public:
  /// Starts the service and waits until its socket answers. Check ok().
  ServiceProcess(const std::string& dir, const std::vector<std::string>& extra = {});
  bool ok() const { return ok_; }
  const std::string& socket_path() const { return socket_path_; }
  ChildProcess& process() { return process_; }
  /// SIGTERM, then the exit code (nullopt: did not exit cleanly in 10 s).
  std::optional<int> Stop();

 private:
  std::string socket_path_;
  ChildProcess process_;
  bool ok_ = false;
};

/// Output and exit code of a finished command.
struct CommandResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

/// Runs `argv` to its end with `input` on standard input and extra
/// environment entries `env` ("NAME=VALUE"). exit_code -1 when it could
/// not be run or ended by a signal.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::vector<std::string>& env = {});

}  // namespace zvtest
