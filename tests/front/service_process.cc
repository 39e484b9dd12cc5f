// SPDX-License-Identifier: MIT
#include "service_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/posix_io.h"
#include "support/temp_dir.h"

namespace zvtest {
namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
  std::vector<char*> result;
  for (const std::string& a : argv) result.push_back(const_cast<char*>(a.c_str()));
  result.push_back(nullptr);
  return result;
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

std::string ServiceBinary() { return ZVXPCD_BINARY; }
std::string ClientBinary() { return ZVXPC_BINARY; }

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& stderr_path) {
  std::vector<char*> args = ArgvOf(argv);
  pid_ = ::fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    if (!stderr_path.empty()) {
      const int fd = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd >= 0) ::dup2(fd, STDERR_FILENO);
    }
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return true;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

std::optional<int> ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return std::nullopt;
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    Sleep(10);
  }
  return std::nullopt;
}

bool WaitForSocket(const std::string& path, int timeout_ms) {
  sockaddr_un address;
  zv::MakeUnixAddress(path, &address);
  for (int waited = 0; waited <= timeout_ms; waited += 10) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (connected) return true;
    Sleep(10);
  }
  return false;
}

ServiceProcess::ServiceProcess(const std::string& dir, const std::vector<std::string>& extra)
    : socket_path_(dir + "/zvxpcd.sock") {
  std::vector<std::string> argv = {ServiceBinary(), "--socket", socket_path_};
  argv.insert(argv.end(), extra.begin(), extra.end());
  ok_ = process_.Start(argv, dir + "/zvxpcd.stderr") && WaitForSocket(socket_path_, 10000);
}

std::optional<int> ServiceProcess::Stop() {
  process_.Signal(SIGTERM);
  return process_.Wait(10000);
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& env) {
  TempDir scratch;
  const std::string in_path = scratch.File("in"), out_path = scratch.File("out"), err_path = scratch.File("err");
  WriteFile(in_path, input);
  std::vector<char*> args = ArgvOf(argv);
  CommandResult result;
  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) {
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    for (const std::string& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

}  // namespace zvtest
