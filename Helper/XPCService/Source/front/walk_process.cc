// SPDX-License-Identifier: MIT
#include "front/walk_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/helper_process.h"
#include "platform/posix_io.h"
#include "walk/debug_sink.h"
#include "walk/snmp_configuration.h"
#include "walk/walk_driver.h"

extern char** environ;

namespace zv {
namespace {

using Clock = std::chrono::steady_clock;

// Longest wait between two looks at the deadline and the stop.
constexpr int kSliceMs = 50;
// All that one walk's process may send; a walk's notes are a few kilobytes.
constexpr std::size_t kMaxWalkOutputBytes = std::size_t{16} << 20;

std::atomic<bool> stopping{false};

// A walk's process started ahead, set up and waiting for its job.
struct ReadyProcess {
  HelperProcess helper;
  std::optional<std::string> mibs;  // MIBS it set the library up with
  std::time_t started = 0;
};

struct Setup {
  std::mutex mutex;
  std::string program;
  std::vector<std::string> environment;  // the service's, taken at start-up
  WalkProcessState state;
  std::optional<ReadyProcess> ready;
  bool preparing = false;  // a thread is starting the next one
};

// Never destroyed: a thread that starts the next walk's process ahead may
// still be running while the service returns from main.
Setup& TheSetup() {
  static Setup* const setup = new Setup;
  return *setup;
}

// What one walk's process did, as the service saw it.
struct Watch {
  bool got_result = false;
  int result = 1;
  WalkProcessState end;
  bool broken = false;      // it sent malformed messages or too many bytes
  bool timed_out = false;   // it was killed at its deadline
  bool stop_sent = false;
  bool killed = false;
  Clock::time_point stop_sent_at;
  int wait_status = 0;
};

void Kill(const HelperProcess& helper, Watch& watch) {
  if (watch.killed) return;
  ::kill(helper.pid, SIGKILL);
  watch.killed = true;
}

// The deadline and the stop, looked at between reads.
void Enforce(const HelperProcess& helper, Clock::time_point deadline, Watch& watch) {
  const Clock::time_point now = Clock::now();
  if (stopping.load() && !watch.stop_sent) {
    ::kill(helper.pid, SIGTERM);
    watch.stop_sent = true;
    watch.stop_sent_at = now;
  }
  if (watch.stop_sent && now - watch.stop_sent_at >= std::chrono::milliseconds(kWalkStopGraceMs)) {
    Kill(helper, watch);
  }
  if (now >= deadline && !watch.killed) {
    watch.timed_out = true;
    Kill(helper, watch);
  }
}

void TakeMessage(const WalkMessage& message, Watch& watch) {
  switch (message.kind) {
    case WalkMessageKind::kNote: NoteWalk(message.note, message.text); return;
    case WalkMessageKind::kLogLine: LogWalkLine(message.text); return;
    case WalkMessageKind::kResult: break;
  }
  watch.got_result = true;
  watch.result = message.result;
  watch.end = message.state;
}

// Reads the process's messages until its result, or until it closes its
// end; enforces the deadline and the stop meanwhile.
void Follow(const HelperProcess& helper, Clock::time_point deadline, Watch& watch) {
  WalkMessageReader reader;
  std::size_t received = 0;
  char buffer[16384];
  for (;;) {
    Enforce(helper, deadline, watch);
    const int ready = WaitFor(helper.output_fd, POLLIN, kSliceMs);
    if (ready == 0) continue;
    const ssize_t count = ready > 0 ? ::read(helper.output_fd, buffer, sizeof buffer) : -1;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) Kill(helper, watch);  // it cannot be followed: it must not outlive the wait
    if (count <= 0) break;
    received += static_cast<std::size_t>(count);
    const bool fine = received <= kMaxWalkOutputBytes &&
                      reader.Feed(std::string_view(buffer, static_cast<std::size_t>(count)),
                                  [&watch](const WalkMessage& message) { TakeMessage(message, watch); });
    if (!fine && !watch.broken) {
      watch.broken = true;
      watch.got_result = false;
      Kill(helper, watch);
    }
    if (watch.got_result) return;
  }
}

// A process that sent its result has nothing left to do but end; it is
// reaped on a thread of its own, so that the reply does not wait for its
// end, and killed if it lingers.
void ReapAside(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    for (int slice = 0; slice < kWalkStopGraceMs / 10; ++slice) {
      if (::waitpid(pid, &status, WNOHANG) != 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

// Starts a walk's process for walks with `mibs`.
bool StartWalkProcess(const std::optional<std::string>& mibs, ReadyProcess* process, std::string* error) {
  Setup& setup = TheSetup();
  std::string program;
  std::vector<std::string> environment;
  {
    std::lock_guard<std::mutex> lock(setup.mutex);
    program = setup.program;
    environment = WalkProcessEnvironment(setup.environment, mibs);
  }
  process->mibs = mibs;
  process->started = std::time(nullptr);
  return StartHelper(program, environment, kWalkMessageDescriptor, &process->helper, error);
}

// True when Net-SNMP's configuration or MIB folders changed at or after
// `time`. The library keeps its MIB path in process-wide state that its
// first look sets, so the walks' threads look one at a time.
bool ConfigurationChangedSince(std::time_t time) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  return LatestSnmpConfigurationChange() >= time;
}

// The process started ahead when it suits a walk with `mibs` and has read
// no configuration that changed since (a change within its start second
// counts as changed); else it is discarded. None when there is none.
std::optional<ReadyProcess> TakeReadyProcess(const std::optional<std::string>& mibs) {
  Setup& setup = TheSetup();
  std::optional<ReadyProcess> ready;
  {
    std::lock_guard<std::mutex> lock(setup.mutex);
    ready.swap(setup.ready);
  }
  if (ready && (ready->mibs != mibs || ConfigurationChangedSince(ready->started))) {
    DiscardHelper(&ready->helper);
    ready.reset();
  }
  return ready;
}

// Starts the process of the next walk ahead, with MIBS as the walks so far
// left it; the next walk starts one itself when this fails.
void PrepareNextProcess() {
  Setup& setup = TheSetup();
  std::optional<std::string> mibs;
  {
    std::lock_guard<std::mutex> lock(setup.mutex);
    mibs = setup.state.mibs;
  }
  ReadyProcess next;
  std::string error;
  const bool started = StartWalkProcess(mibs, &next, &error);
  std::unique_lock<std::mutex> lock(setup.mutex);
  setup.preparing = false;
  if (!started) return;
  if (!setup.ready && !stopping.load()) {
    setup.ready = std::move(next);
    return;
  }
  lock.unlock();
  DiscardHelper(&next.helper);
}

// Once a walk's process has ended: the next one is started on a thread of
// its own, so that neither this walk's reply nor its process waits for it.
// Nothing is started when one is ready or on its way, or the service stops.
void PrepareNextProcessAside() {
  Setup& setup = TheSetup();
  {
    std::lock_guard<std::mutex> lock(setup.mutex);
    if (setup.ready || setup.preparing || stopping.load()) return;
    setup.preparing = true;
  }
  std::thread(PrepareNextProcess).detach();
}

// Hands `job` to a walk's process (one started ahead, else a new one) and
// follows it to its end.
bool RunOnce(const WalkJob& job, Watch& watch, std::string* error) {
  std::optional<ReadyProcess> process = TakeReadyProcess(job.state.mibs);
  if (!process) {
    process.emplace();
    if (!StartWalkProcess(job.state.mibs, &*process, error)) return false;
  }
  HelperProcess& helper = process->helper;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::seconds(job.state.time_limit_seconds + kWalkKillGraceSeconds);
  // A process that ends before it read its job leaves the write failing
  // (SIGPIPE is ignored in the service); its end tells the rest.
  (void)WriteAll(helper.input_fd, EncodeWalkJob(job));
  ::close(helper.input_fd);
  helper.input_fd = -1;
  Follow(helper, deadline, watch);
  CloseHelperPipes(&helper);
  if (watch.got_result) {
    ReapAside(helper.pid);
  } else {
    watch.wait_status = ReapHelper(helper);
  }
  return true;
}

// The failed walk's merge, in a fresh process, for a walk whose process
// was killed at its deadline.
void MergeFailedWalk(const WalkJob& walked) {
  WalkJob merge = walked;
  merge.kind = WalkJobKind::kMergeFailed;
  merge.arguments.clear();
  Watch watch;
  std::string error;
  if (!RunOnce(merge, watch, &error)) {
    NoteWalk(WalkNote::kList, "the failed walk's merge could not be started: " + error);
  } else if (!watch.got_result) {
    NoteWalk(WalkNote::kList, "the failed walk's merge " + DescribeProcessEnd(watch.wait_status));
  }
}

void KeepChanges(const WalkProcessState& start, const WalkProcessState& end) {
  Setup& setup = TheSetup();
  std::lock_guard<std::mutex> lock(setup.mutex);
  CarryWalkChanges(start, end, &setup.state);
}

std::string ProcessEnd(const Watch& watch) {
  if (watch.broken) return "sent a malformed message and was killed";
  return DescribeProcessEnd(watch.wait_status) + " without a result";
}

// The walk of RunWalkProcess, without starting the next walk's process.
WalkProcessOutcome WalkInItsProcess(WalkJob job) {
  WalkProcessOutcome outcome;
  if (stopping.load()) {
    outcome.result = kWalkAbandoned;
    return outcome;
  }
  {
    Setup& setup = TheSetup();
    std::lock_guard<std::mutex> lock(setup.mutex);
    job.state = setup.state;
  }
  Watch watch;
  std::string error;
  if (!RunOnce(job, watch, &error)) {
    outcome.process_end = "could not be started: " + error;
    NoteWalk(WalkNote::kReason, "the walk's process " + outcome.process_end);
    return outcome;
  }
  if (watch.got_result) {
    KeepChanges(job.state, watch.end);
    outcome.result = watch.result;
    return outcome;
  }
  if (watch.stop_sent) {
    outcome.result = kWalkAbandoned;
    return outcome;
  }
  outcome.process_end = ProcessEnd(watch);
  if (watch.timed_out) {
    NoteWalk(WalkNote::kReason, "the walk outlasted its time limit of " +
                                    std::to_string(job.state.time_limit_seconds) + " s; its process was ended");
    MergeFailedWalk(job);
  } else {
    NoteWalk(WalkNote::kReason, "the walk's process " + outcome.process_end + "; the profile list was not changed");
  }
  return outcome;
}

}  // namespace

void SetWalkProcessSetup(std::string program, const WalkProcessState& initial_state) {
  Setup& setup = TheSetup();
  std::lock_guard<std::mutex> lock(setup.mutex);
  setup.program = std::move(program);
  setup.environment.clear();
  for (char** entry = environ; *entry != nullptr; ++entry) setup.environment.emplace_back(*entry);
  setup.state = initial_state;
}

WalkProcessOutcome RunWalkProcess(WalkJob job) {
  WalkProcessOutcome outcome = WalkInItsProcess(std::move(job));
  // With this walk's changes kept: the next walk's MIBS is known.
  PrepareNextProcessAside();
  return outcome;
}

void StopWalkProcesses() {
  stopping.store(true);
  std::optional<ReadyProcess> ready;
  {
    Setup& setup = TheSetup();
    std::lock_guard<std::mutex> lock(setup.mutex);
    ready.swap(setup.ready);
  }
  if (ready) DiscardHelper(&ready->helper);
}

}  // namespace zv
