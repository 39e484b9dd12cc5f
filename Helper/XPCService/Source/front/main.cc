// SPDX-License-Identifier: MIT
// zvxpcd: start-up of the service. Creates the delegate, obtains the
// service listener (socket activation, or a socket of its own), sets the
// delegate on it and resumes it until a stop signal or the idle period.
#include <limits.h>
#include <malloc.h>
#include <signal.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "front/preferences_on_demand.h"
#include "front/list_changes.h"
#include "front/service_delegate.h"
#include "front/service_options.h"
#include "front/system_log.h"
#include "front/verbose_log.h"
#include "front/service_walk_state.h"
#include "front/walk_launcher.h"
#include "front/walk_request.h"
#include "platform/confinement.h"
#include "platform/atomic_file.h"
#include "platform/xpc/listener.h"

extern char** environ;

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
// Allocations from this size on get memory mapped apart from the heap.
constexpr int kMappedAllocationBytes = 128 * 1024;

void PrintDiagnostic(std::string_view line) {
  std::fprintf(stderr, "zvxpcd: %.*s\n", static_cast<int>(line.size()), line.data());
}

// The walk program installed beside this one (in libexec, or in the build
// tree).
std::string WalkProgramBesideService() {
  char self[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "zvxpcd-walk";
  const std::string path(self, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "zvxpcd-walk";
}

// The walk state the first walk starts from: the time limit and the bulk
// default of the command line.
zv::WalkProcessState InitialWalkState(const zv::ServiceOptions& options) {
  zv::WalkProcessState state;
  state.time_limit_seconds = options.walk_timeout_seconds;
  state.bulk_repetitions = options.bulk_repetitions;
  return state;
}

// The service's environment, which the walks' processes get (MIBS set as
// the service keeps it).
std::vector<std::string> ServiceEnvironment() {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  return environment;
}

// Sets up the walks: where their lists are, how they are logged, what the
// first one starts from, and the launcher of their processes.
void PrepareWalks(const zv::ServiceOptions& options) {
  zv::WalkEnvironment environment;
  environment.preferences_directory = options.preferences_directory;
  zv::SetWalkEnvironment(environment);
  // A missing folder, the default one or one given, is made when first needed.
  zv::CreateOnDemand(options.preferences_directory);
  if (options.verbose) zv::EnableVerboseLog();
  const char* mibs = std::getenv("MIBS");
  zv::SetSharedWalkState(InitialWalkState(options), mibs ? std::optional<std::string>(mibs) : std::nullopt);
  zv::StartWalkLauncher(options.walk_program ? *options.walk_program : WalkProgramBesideService(),
                        ServiceEnvironment());
}

// Applies the options that shape the process before any request runs.
bool PrepareProcess(const zv::ServiceOptions& options, std::string* error) {
  if (options.log_file && !zv::UseLogFile(*options.log_file, error)) return false;
  ::openlog("zvxpcd", LOG_PID, LOG_USER);
  // A service killed while it saved a list may have left a temporary.
  zv::RemoveStaleTemporariesIn(options.preferences_directory);
  // Buffers of large requests go back to the system once freed: a fixed
  // threshold keeps the allocator from raising it after the first large
  // buffer and then keeping such buffers in its heaps, where a burst of
  // large requests would stay resident long after it ended.
  ::mallopt(M_MMAP_THRESHOLD, kMappedAllocationBytes);
  PrepareWalks(options);
  if (options.verbose && zv::LandlockAbi() == 0) {
    zv::LogErrorLine("xpc - walks run without Landlock (the kernel does not offer it); the rest of their "
                     "confinement holds");
  }
  // Replies are sent with MSG_NOSIGNAL; nothing else may end the process
  // on a closed pipe either.
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}

zv::xpc::ListenerOptions ListenerOptionsFrom(const zv::ServiceOptions& options) {
  zv::xpc::ListenerOptions listener_options;
  listener_options.socket_path = options.socket_path;
  listener_options.idle_exit_seconds = options.idle_exit_seconds;
  listener_options.diagnostics = PrintDiagnostic;
  // A walk in progress would hold the stop for as long as the printer
  // keeps it waiting; it is abandoned and writes nothing.
  listener_options.on_stop = [] {
    zv::StopWalks();
    zv::StopWatchingListChanges();
  };
  // A walk's process holds nothing of the user's and may not ask the
  // service to do what it cannot (it cannot make a socket anyway).
  listener_options.refuse_peer = [](pid_t pid) { return zv::IsWalkProcess(pid); };
  return listener_options;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  // A stop signal that arrives during start-up waits for the listener.
  if (!zv::xpc::BlockStopSignals(&error)) {
    PrintDiagnostic(error);
    return kExitFailure;
  }
  zv::ServiceOptions options;
  if (!zv::ParseServiceOptions(argc, argv, &options, &error)) {
    PrintDiagnostic(error + " (see zvxpcd --help)");
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(zv::ServiceUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(zv::ServiceVersion().c_str(), stdout);
    return 0;
  }
  if (!PrepareProcess(options, &error)) {
    PrintDiagnostic(error);
    return kExitFailure;
  }
  ZVmacXPCServiceDelegate delegate;
  std::unique_ptr<zv::xpc::Listener> listener = zv::xpc::Listener::ServiceListener(ListenerOptionsFrom(options), &error);
  if (!listener) {
    PrintDiagnostic("no service socket: " + error + (options.socket_path ? "" : " (use --socket PATH)"));
    return kExitFailure;
  }
  listener->SetDelegate(&delegate);
  if (!listener->Resume(&error)) {
    PrintDiagnostic(error);
    return kExitFailure;
  }
  return 0;
}
