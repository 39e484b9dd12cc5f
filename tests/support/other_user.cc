// SPDX-License-Identifier: MIT
#include "support/other_user.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zvtest {

bool RunningAsRoot() { return geteuid() == 0; }

int RunAsOtherUser(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (RunningAsRoot()) {
      if (setgroups(0, nullptr) != 0 || setresgid(kOtherGid, kOtherGid, kOtherGid) != 0 ||
          setresuid(kOtherUid, kOtherUid, kOtherUid) != 0) {
        _exit(255);
      }
    }
    _exit(body() & 0xFF);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace zvtest
