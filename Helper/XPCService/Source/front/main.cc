// SPDX-License-Identifier: MIT
// zvxpcd: start-up of the service. Creates the delegate, obtains the
// service listener (socket activation, or a socket of its own), sets the
// delegate on it and resumes it until a stop signal or the idle period.
#include <signal.h>
#include <syslog.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "front/preferences_on_demand.h"
#include "front/service_delegate.h"
#include "front/service_options.h"
#include "front/system_log.h"
#include "front/verbose_log.h"
#include "front/walk_request.h"
#include "platform/atomic_file.h"
#include "platform/xpc/listener.h"
#include "walk/walk_driver.h"
#include "walk/walk_settings.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

void PrintDiagnostic(std::string_view line) {
  std::fprintf(stderr, "zvxpcd: %.*s\n", static_cast<int>(line.size()), line.data());
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
  zv::SetWalkTimeLimit(options.walk_timeout_seconds);
  zv::SetDefaultBulkRepetitions(options.bulk_repetitions);
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
  listener_options.on_stop = [] { zv::AbandonWalks(); };
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
