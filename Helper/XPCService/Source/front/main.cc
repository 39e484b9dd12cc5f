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

#include "front/preferences_on_demand.h"
#include "front/service_delegate.h"
#include "front/service_options.h"
#include "front/system_log.h"
#include "front/verbose_log.h"
#include "front/walk_process.h"
#include "front/walk_request.h"
#include "platform/confinement.h"
#include "platform/atomic_file.h"
#include "platform/xpc/listener.h"

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
// default of the command line, MIBS from the service's environment.
zv::WalkProcessState InitialWalkState(const zv::ServiceOptions& options) {
  zv::WalkProcessState state;
  state.time_limit_seconds = options.walk_timeout_seconds;
  state.bulk_repetitions = options.bulk_repetitions;
  if (const char* mibs = std::getenv("MIBS")) state.mibs = mibs;
  return state;
}

// Applies the options that shape the process before any request runs.
bool PrepareProcess(const zv::ServiceOptions& options, std::string* error) {
  if (options.log_file && !zv::UseLogFile(*options.log_file, error)) return false;
  ::openlog("zvxpcd", LOG_PID, LOG_USER);
  zv::WalkEnvironment environment;
  environment.preferences_directory = options.preferences_directory;
  zv::SetWalkEnvironment(environment);
  if (options.preferences_directory_is_default) zv::CreateOnDemand(options.preferences_directory);
  if (options.verbose) zv::EnableVerboseLog();
  // A service killed while it saved a list may have left a temporary.
  zv::RemoveStaleTemporariesIn(options.preferences_directory);
  // Buffers of large requests go back to the system once freed: a fixed
  // threshold keeps the allocator from raising it after the first large
  // buffer and then keeping such buffers in its heaps, where a burst of
  // large requests would stay resident long after it ended.
  ::mallopt(M_MMAP_THRESHOLD, kMappedAllocationBytes);
  zv::SetWalkProcessSetup(options.walk_program ? *options.walk_program : WalkProgramBesideService(),
                          InitialWalkState(options));
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
  listener_options.on_stop = [] { zv::StopWalks(); };
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
