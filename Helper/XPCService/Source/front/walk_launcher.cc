// SPDX-License-Identifier: MIT
#include "front/walk_launcher.h"

#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "platform/process_reaper.h"
#include "report/snmp_configuration.h"
#include "report/walk_protocol.h"

namespace zv {
namespace {

// A walk's process started ahead, set up and waiting for its job.
struct ReadyProcess {
  HelperProcess helper;
  WalkLibrarySetup setup;  // what it set the library up with
  std::string fingerprint;          // of what the library read, taken before it started
};

// One start the launcher's thread makes for a caller.
struct StartRequest {
  WalkLibrarySetup setup;
  std::promise<ReadyProcess> started;
  std::string error;
};

// Takes `pid` off the live processes once it was reaped.
void Forget(pid_t pid);

struct Launcher {
  std::mutex mutex;
  std::condition_variable wake;
  std::string program;
  std::vector<std::string> environment;
  std::deque<StartRequest*> requests;
  std::optional<std::optional<std::string>> prepare;  // the MIBS of a start ahead that is due
  std::optional<ReadyProcess> ready;
  std::set<pid_t> live;  // started, and not reaped yet
  ProcessReaper reaper{[](pid_t pid, int /*status*/) { Forget(pid); }};
  bool stopping = false;
  bool started = false;
};

// Never destroyed: the launcher's thread may still wait on it while the
// service returns from main.
Launcher& TheLauncher() {
  static Launcher* const launcher = new Launcher;
  return *launcher;
}

void Forget(pid_t pid) {
  Launcher& launcher = TheLauncher();
  std::lock_guard<std::mutex> lock(launcher.mutex);
  launcher.live.erase(pid);
}

// The service's environment with MIBS, and MIBDIRS when the walk sets it,
// as `setup` says.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& environment, const WalkLibrarySetup& setup) {
  std::vector<std::string> result;
  for (const std::string& entry : environment) {
    const bool replaced = entry.rfind("MIBS=", 0) == 0 || (setup.mib_directories && entry.rfind("MIBDIRS=", 0) == 0);
    if (!replaced) result.push_back(entry);
  }
  if (setup.mibs) result.push_back("MIBS=" + *setup.mibs);
  if (setup.mib_directories) result.push_back("MIBDIRS=" + *setup.mib_directories);
  return result;
}

// Starts one process, on the launcher's thread.
bool Start(Launcher& launcher, const WalkLibrarySetup& setup, ReadyProcess* process, std::string* error) {
  std::string program;
  std::vector<std::string> environment;
  {
    std::lock_guard<std::mutex> lock(launcher.mutex);
    program = launcher.program;
    environment = EnvironmentWith(launcher.environment, setup);
  }
  process->setup = setup;
  process->fingerprint = SnmpConfigurationFingerprint(setup.mibs);
  const std::vector<std::string> arguments = {"--service-pid", std::to_string(::getpid())};
  if (!StartHelper(program, arguments, environment, kWalkReportDescriptor, &process->helper, error)) return false;
  std::lock_guard<std::mutex> lock(launcher.mutex);
  launcher.live.insert(process->helper.pid);
  return true;
}

void ServeRequest(Launcher& launcher, StartRequest& request) {
  ReadyProcess process;
  if (!Start(launcher, request.setup, &process, &request.error)) process.helper.pid = -1;
  request.started.set_value(std::move(process));
}

void PrepareAhead(Launcher& launcher, const std::optional<std::string>& mibs) {
  ReadyProcess process;
  std::string error;
  if (!Start(launcher, WalkLibrarySetup{mibs, std::nullopt}, &process, &error)) return;  // the next walk starts one itself
  std::unique_lock<std::mutex> lock(launcher.mutex);
  if (!launcher.ready && !launcher.stopping) {
    launcher.ready = std::move(process);
    return;
  }
  lock.unlock();
  EndWalkProcessAside(process.helper);
}

// The launcher's thread: starts what callers ask for first, and the next
// process ahead when nobody waits. It never returns: its end would kill
// every process it started.
[[noreturn]] void Serve(Launcher& launcher) {
  for (;;) {
    std::unique_lock<std::mutex> lock(launcher.mutex);
    launcher.wake.wait(lock, [&] { return !launcher.requests.empty() || (launcher.prepare && !launcher.stopping); });
    if (!launcher.requests.empty()) {
      StartRequest* request = launcher.requests.front();
      launcher.requests.pop_front();
      lock.unlock();
      ServeRequest(launcher, *request);
      continue;
    }
    const std::optional<std::string> mibs = *launcher.prepare;
    launcher.prepare.reset();
    lock.unlock();
    PrepareAhead(launcher, mibs);
  }
}

// The process started ahead when it suits a walk set up as `setup`: still
// running, set up the same way, and nothing it read changed since.
std::optional<ReadyProcess> TakeReady(Launcher& launcher, const WalkLibrarySetup& setup) {
  std::optional<ReadyProcess> ready;
  {
    std::lock_guard<std::mutex> lock(launcher.mutex);
    ready.swap(launcher.ready);
  }
  if (ready && (ready->setup != setup || HelperEnded(ready->helper) ||
                ready->fingerprint != SnmpConfigurationFingerprint(setup.mibs))) {
    EndWalkProcessAside(ready->helper);
    ready.reset();
  }
  return ready;
}

}  // namespace

void StartWalkLauncher(std::string program, std::vector<std::string> environment) {
  Launcher& launcher = TheLauncher();
  std::lock_guard<std::mutex> lock(launcher.mutex);
  launcher.program = std::move(program);
  launcher.environment = std::move(environment);
  if (launcher.started) return;
  launcher.started = true;
  std::thread([&launcher] { Serve(launcher); }).detach();
  // Reaps on a thread of its own: a process that takes long to end holds
  // up no start.
  std::thread([&launcher] {
    for (;;) launcher.reaper.Reap(-1);
  }).detach();
}

bool LaunchWalkProcess(const WalkLibrarySetup& setup, HelperProcess* process, std::string* error) {
  Launcher& launcher = TheLauncher();
  if (std::optional<ReadyProcess> ready = TakeReady(launcher, setup)) {
    *process = ready->helper;
    return true;
  }
  StartRequest request;
  request.setup = setup;
  std::future<ReadyProcess> started = request.started.get_future();
  {
    std::lock_guard<std::mutex> lock(launcher.mutex);
    if (launcher.stopping || !launcher.started) {
      *error = "the service is stopping";
      return false;
    }
    launcher.requests.push_back(&request);
  }
  launcher.wake.notify_all();
  ReadyProcess result = started.get();
  if (result.helper.pid < 0) {
    *error = request.error;
    return false;
  }
  *process = result.helper;
  return true;
}

void PrepareNextWalkProcess(const std::optional<std::string>& mibs) {
  Launcher& launcher = TheLauncher();
  {
    std::lock_guard<std::mutex> lock(launcher.mutex);
    if (launcher.ready || launcher.prepare || launcher.stopping || !launcher.started) return;
    launcher.prepare = mibs;
  }
  launcher.wake.notify_all();
}

void StopWalkLauncher() {
  Launcher& launcher = TheLauncher();
  std::optional<ReadyProcess> ready;
  {
    std::lock_guard<std::mutex> lock(launcher.mutex);
    launcher.stopping = true;
    ready.swap(launcher.ready);
  }
  launcher.wake.notify_all();
  if (ready) EndWalkProcessAside(ready->helper);
}

bool IsWalkProcess(pid_t pid) {
  Launcher& launcher = TheLauncher();
  std::lock_guard<std::mutex> lock(launcher.mutex);
  return launcher.live.count(pid) != 0;
}

void EndWalkProcessAside(HelperProcess process) {
  if (process.pid <= 0) return;
  ::kill(process.pid, SIGKILL);
  CloseHelperPipes(&process);
  TheLauncher().reaper.Add(process);
}

bool ReapEndedWalkProcess(HelperProcess* process, int* status) {
  const pid_t pid = process->pid;
  if (!ReapEndedHelper(process, status)) return false;
  Forget(pid);
  return true;
}

}  // namespace zv
