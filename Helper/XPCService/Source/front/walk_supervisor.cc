// SPDX-License-Identifier: MIT
#include "front/walk_supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "front/walk_cancel.h"
#include "front/walk_launcher.h"
#include "platform/helper_process.h"
#include "platform/memory_wipe.h"
#include "platform/posix_io.h"
#include "report/debug_sink.h"

namespace zv {
namespace {

using Clock = std::chrono::steady_clock;
using Ending = WalkRun::Ending;

// Longest wait between two looks at the deadline and the stop.
constexpr int kSliceMs = 50;
// How long a process whose report ended may take to end itself.
constexpr int kEndAfterReportMs = 100;
// Bytes one read of the report takes.
constexpr std::size_t kReadBytes = 16384;

std::atomic<bool> stopping{false};

// One walk's process as it is watched.
class Watch {
 public:
  Watch(HelperProcess* process, Clock::time_point deadline, WalkRun* run, int32_t start_count)
      : process_(process),
        deadline_(deadline),
        run_(run),
        reader_(start_count, [](WalkNote note, std::string_view text) { NoteWalk(note, text); }) {}

  // Writes the job; false (with the run's ending set) when the walk ended
  // before it was written.
  bool WriteJob(const std::string& job);
  // Reads the report until its end, a refusal, the process's end, the
  // deadline or the stop; sets the run's ending.
  void Follow();

 private:
  // The deadline and the stop: true (with the ending set) when one is due.
  bool Due();
  // Takes what the report holds now; true when the run has ended.
  bool TakeAvailable();
  void End(Ending ending, std::string problem = "");

  HelperProcess* process_;
  Clock::time_point deadline_;
  WalkRun* run_;
  WalkReportReader reader_;
  bool ended_ = false;
};

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void Watch::End(Ending ending, std::string problem) {
  if (ended_) return;
  ended_ = true;
  run_->ending = ending;
  run_->problem = std::move(problem);
}

bool Watch::Due() {
  if (stopping.load()) {
    End(Ending::kAbandoned);
  } else if (CurrentWalkCancelled()) {
    End(Ending::kCancelled);
  } else if (Clock::now() >= deadline_) {
    End(Ending::kTimedOut);
  }
  return ended_;
}

bool Watch::WriteJob(const std::string& job) {
  SetNonBlocking(process_->input_fd);
  std::size_t written = 0;
  while (written < job.size()) {
    if (stopping.load()) {
      End(Ending::kAbandoned);
      return false;
    }
    // A process that has not taken its job by the deadline never walked.
    if (Clock::now() >= deadline_) break;
    pollfd fds[2] = {{process_->input_fd, POLLOUT, 0}, {process_->pidfd, POLLIN, 0}};
    if (::poll(fds, 2, kSliceMs) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLHUP)) != 0) break;
    if ((fds[0].revents & POLLOUT) == 0) continue;
    const ssize_t n = ::write(process_->input_fd, job.data() + written, job.size() - written);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) break;
    written += static_cast<std::size_t>(n);
  }
  ::close(process_->input_fd);
  process_->input_fd = -1;
  if (written == job.size()) return true;
  End(Ending::kDied, HelperEnded(*process_) ? "ended before it read its job" : "did not read its job in time");
  return false;
}

bool Watch::TakeAvailable() {
  char buffer[kReadBytes];
  for (;;) {
    const ssize_t n = ::read(process_->output_fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ended_;  // EAGAIN: nothing more for now
    if (n == 0) {
      // The end of the report comes just before the end of the process,
      // unless the process closed it and lives on.
      const bool ended = WaitFor(process_->pidfd, POLLIN, kEndAfterReportMs) > 0;
      End(Ending::kDied, ended ? "ended without a result" : "closed its report without a result and was killed");
      return true;
    }
    if (!reader_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), &run_->report)) {
      End(Ending::kBroken, reader_.problem());
      return true;
    }
    if (run_->report.end) {
      End(Ending::kEnded);
      return true;
    }
  }
}

void Watch::Follow() {
  SetNonBlocking(process_->output_fd);
  while (!Due()) {
    pollfd fds[2] = {{process_->output_fd, POLLIN, 0}, {process_->pidfd, POLLIN, 0}};
    if (::poll(fds, 2, kSliceMs) < 0 && errno != EINTR) {
      End(Ending::kDied, "could not be followed");
      return;
    }
    if (fds[0].revents != 0 && TakeAvailable()) return;
    // Ended: what it wrote before is still in the pipe, even while a
    // descendant of it holds the pipe open.
    if (fds[1].revents != 0) {
      if (!TakeAvailable()) End(Ending::kDied, "ended without a result");
      return;
    }
  }
}

// How the process ended, for a run that ended without its end.
std::string WithStatus(const std::string& problem, int status) {
  if (problem == "ended without a result") return DescribeProcessEnd(status) + " without a result";
  return problem;
}

}  // namespace

WalkRun RunWalkInItsProcess(const WalkJob& job, const WalkLibrarySetup& setup) {
  WalkRun run;
  if (stopping.load()) {
    run.ending = Ending::kAbandoned;
    return run;
  }
  HelperProcess process;
  if (!LaunchWalkProcess(setup, &process, &run.problem)) {
    run.ending = stopping.load() ? Ending::kAbandoned : Ending::kNotStarted;
    return run;
  }
  const Clock::time_point deadline =
      Clock::now() + std::chrono::seconds(job.state.time_limit_seconds + kWalkKillGraceSeconds);
  Watch watch(&process, deadline, &run, job.state.variables_found);
  std::string job_text = EncodeWalkJob(job);
  const bool handed_over = watch.WriteJob(job_text);
  // The job may hold pass phrases: the service keeps no copy of it.
  WipeString(&job_text);
  if (handed_over) watch.Follow();
  CloseHelperPipes(&process);
  // A process that ended by itself is reaped now and told as it ended;
  // every other one is killed and reaped aside once it has ended, so that
  // no reply waits for a process that takes long to end.
  int status = 0;
  if (run.ending == Ending::kDied && ReapEndedWalkProcess(&process, &status)) {
    run.problem = WithStatus(run.problem, status);
  } else {
    EndWalkProcessAside(process);
  }
  return run;
}

void StopWalkProcesses() {
  stopping.store(true);
  StopWalkLauncher();
}

}  // namespace zv
