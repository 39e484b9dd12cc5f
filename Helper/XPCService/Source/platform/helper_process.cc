// SPDX-License-Identifier: MIT
#include "platform/helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix_io.h"

namespace zv {
namespace {

void CloseIfOpen(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

// The child's descriptors: the pipes moved into place, /dev/null for
// standard output and error, every descriptor after the last one closed.
bool PlanDescriptors(posix_spawn_file_actions_t* actions, int input_read, int output_write, int output_descriptor) {
  return posix_spawn_file_actions_adddup2(actions, input_read, STDIN_FILENO) == 0 &&
         posix_spawn_file_actions_adddup2(actions, output_write, output_descriptor) == 0 &&
         posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
         posix_spawn_file_actions_addopen(actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
         posix_spawn_file_actions_addclosefrom_np(actions, output_descriptor + 1) == 0;
}

// No signal blocked (the service blocks its stop signals) and every
// signal at its default action.
bool PlanSignals(posix_spawnattr_t* attributes) {
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  return posix_spawnattr_setsigmask(attributes, &none) == 0 &&
         posix_spawnattr_setsigdefault(attributes, &all) == 0 &&
         posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

std::vector<char*> Vector(const std::vector<std::string>& texts) {
  std::vector<char*> vector;
  for (const std::string& text : texts) vector.push_back(const_cast<char*>(text.c_str()));
  vector.push_back(nullptr);
  return vector;
}

int Spawn(const std::string& program, const std::vector<std::string>& arguments,
          const std::vector<std::string>& environment, int input_read, int output_write, int output_descriptor,
          pid_t* pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  int status = EINVAL;
  if (PlanDescriptors(&actions, input_read, output_write, output_descriptor) && PlanSignals(&attributes)) {
    std::vector<std::string> argv_texts{program};
    argv_texts.insert(argv_texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = Vector(argv_texts);
    std::vector<char*> envp = Vector(environment);
    status = posix_spawn(pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return status;
}

// Waits up to `timeout_ms` for the helper to end; true once it has.
bool AwaitEnd(const HelperProcess& helper, int timeout_ms) {
  if (helper.pidfd < 0) return true;
  return WaitFor(helper.pidfd, POLLIN, timeout_ms) > 0;
}

}  // namespace

bool StartHelper(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, int output_descriptor, HelperProcess* helper,
                 std::string* error) {
  int input[2];
  int output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) {
    *error = ErrnoText("pipe2", errno);
    return false;
  }
  if (::pipe2(output, O_CLOEXEC) != 0) {
    *error = ErrnoText("pipe2", errno);
    ::close(input[0]);
    ::close(input[1]);
    return false;
  }
  const int status = Spawn(program, arguments, environment, input[0], output[1], output_descriptor, &helper->pid);
  ::close(input[0]);
  ::close(output[1]);
  helper->input_fd = input[1];
  helper->output_fd = output[0];
  if (status != 0) {
    CloseHelperPipes(helper);
    helper->pid = -1;
    *error = ErrnoText("posix_spawn", program, status);
    return false;
  }
  // The child cannot be reaped before this: only this process reaps it.
  helper->pidfd = static_cast<int>(::syscall(SYS_pidfd_open, helper->pid, 0));
  if (helper->pidfd < 0) {
    *error = ErrnoText("pidfd_open", errno);
    DiscardHelper(helper);
    return false;
  }
  return true;
}

void CloseHelperPipes(HelperProcess* helper) {
  CloseIfOpen(&helper->input_fd);
  CloseIfOpen(&helper->output_fd);
}

bool HelperEnded(const HelperProcess& helper) { return AwaitEnd(helper, 0); }

bool ReapEndedHelper(HelperProcess* helper, int* status) {
  if (helper->pid <= 0) return false;
  pid_t reaped;
  do {
    reaped = ::waitpid(helper->pid, status, WNOHANG);
  } while (reaped < 0 && errno == EINTR);
  if (reaped != helper->pid) return false;
  CloseIfOpen(&helper->pidfd);
  helper->pid = -1;
  return true;
}

void DiscardHelper(HelperProcess* helper) {
  if (helper->pid > 0) {
    ::kill(helper->pid, SIGKILL);
    while (::waitpid(helper->pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  CloseHelperPipes(helper);
  CloseIfOpen(&helper->pidfd);
  helper->pid = -1;
}

std::string DescribeProcessEnd(int status) {
  if (WIFSIGNALED(status)) {
    const int signal_number = WTERMSIG(status);
    const char* name = sigdescr_np(signal_number);
    return "was killed by signal " + std::to_string(signal_number) + " (" + (name ? name : "unknown") + ")";
  }
  return "exited with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace zv
