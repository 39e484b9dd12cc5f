// SPDX-License-Identifier: MIT
// The reaper of helper processes: a process is waited for as long as it
// runs, never dropped and never killed by the reaper, and reaped with its
// own status once it has ended.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string>

#include "platform/helper_process.h"
#include "platform/process_reaper.h"

namespace {

// A helper that runs until its standard input is closed: `*input` keeps
// that end; the helper given back has its pipes closed, as the reaper
// takes them.
zv::HelperProcess StartCat(int* input) {
  zv::HelperProcess helper;
  std::string error;
  EXPECT_TRUE(zv::StartHelper("/bin/cat", {}, {}, 3, &helper, &error)) << error;
  *input = helper.input_fd;
  helper.input_fd = -1;
  ::close(helper.output_fd);
  helper.output_fd = -1;
  return helper;
}

// True when `pid` is no child of this process any more: reaped.
bool Reaped(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(ProcessReaperTest, EachProcessIsWaitedForUntilItEndsThenReapedWithItsStatus) {
  std::map<pid_t, int> statuses;
  zv::ProcessReaper reaper([&statuses](pid_t pid, int status) { statuses[pid] = status; });
  int running_input = -1;
  int killed_input = -1;
  const zv::HelperProcess running = StartCat(&running_input);
  const zv::HelperProcess killed = StartCat(&killed_input);
  reaper.Add(running);
  reaper.Add(killed);

  // Both run: none is reaped, dropped or killed, however often it is tried.
  for (int i = 0; i < 3; ++i) ASSERT_EQ(reaper.Reap(0), 2u);
  EXPECT_TRUE(statuses.empty());
  EXPECT_EQ(::kill(running.pid, 0), 0);

  ASSERT_EQ(::kill(killed.pid, SIGKILL), 0);
  EXPECT_EQ(reaper.Reap(-1), 1u);
  ASSERT_EQ(statuses.count(killed.pid), 1u);
  EXPECT_TRUE(WIFSIGNALED(statuses[killed.pid]) && WTERMSIG(statuses[killed.pid]) == SIGKILL);
  EXPECT_TRUE(Reaped(killed.pid));
  EXPECT_EQ(::kill(running.pid, 0), 0);

  // It ends by itself once its input ends.
  ::close(running_input);
  EXPECT_EQ(reaper.Reap(-1), 0u);
  ASSERT_EQ(statuses.count(running.pid), 1u);
  EXPECT_TRUE(WIFEXITED(statuses[running.pid]) && WEXITSTATUS(statuses[running.pid]) == 0);
  EXPECT_TRUE(Reaped(running.pid));
  ::close(killed_input);
}

}  // namespace
