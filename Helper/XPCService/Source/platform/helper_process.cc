// SPDX-License-Identifier: MIT
#include "platform/helper_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
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
// standard output, every descriptor after the last one closed.
bool PlanDescriptors(posix_spawn_file_actions_t* actions, int input_read, int output_write, int output_descriptor) {
  return posix_spawn_file_actions_adddup2(actions, input_read, STDIN_FILENO) == 0 &&
         posix_spawn_file_actions_adddup2(actions, output_write, output_descriptor) == 0 &&
         posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
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

int Spawn(const std::string& program, const std::vector<std::string>& environment, int input_read,
          int output_write, int output_descriptor, pid_t* pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  int status = EINVAL;
  if (PlanDescriptors(&actions, input_read, output_write, output_descriptor) && PlanSignals(&attributes)) {
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    status = posix_spawn(pid, program.c_str(), &actions, &attributes, argv, envp.data());
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return status;
}

}  // namespace

bool StartHelper(const std::string& program, const std::vector<std::string>& environment, int output_descriptor,
                 HelperProcess* helper, std::string* error) {
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
  const int status = Spawn(program, environment, input[0], output[1], output_descriptor, &helper->pid);
  ::close(input[0]);
  ::close(output[1]);
  helper->input_fd = input[1];
  helper->output_fd = output[0];
  if (status == 0) return true;
  CloseHelperPipes(helper);
  helper->pid = -1;
  *error = ErrnoText("posix_spawn", program, status);
  return false;
}

void CloseHelperPipes(HelperProcess* helper) {
  CloseIfOpen(&helper->input_fd);
  CloseIfOpen(&helper->output_fd);
}

int ReapHelper(const HelperProcess& helper) {
  int status = 0;
  while (::waitpid(helper.pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

void DiscardHelper(HelperProcess* helper) {
  ::kill(helper->pid, SIGKILL);
  CloseHelperPipes(helper);
  (void)ReapHelper(*helper);
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
