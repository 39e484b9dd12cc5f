// SPDX-License-Identifier: MIT
#include "front/service_status.h"

#include <unistd.h>

#include <chrono>

#include "front/list_changes.h"
#include "front/service_options.h"
#include "front/service_walk_state.h"
#include "front/system_log.h"
#include "front/verbose_log.h"
#include "front/walk_request.h"
#include "platform/one_line_text.h"
#include "zvxpc.h"

namespace zv {
namespace {

// When the service started: its status is first asked long after this
// file's statics are set up, before main runs.
const std::chrono::steady_clock::time_point kStarted = std::chrono::steady_clock::now();

std::string Line(const char* name, const std::string& value) { return std::string(name) + "=" + value + "\n"; }

// The -C toggles in force, as a walk's -C would give them ("" for none).
std::string TogglesText(const WalkToggles& toggles) {
  std::string text;
  if (toggles.include_requested) text += 'i';
  if (toggles.print_statistics) text += 'p';
  if (toggles.dont_check_ordering) text += 'c';
  return text;
}

std::string UptimeText() {
  const auto up = std::chrono::steady_clock::now() - kStarted;
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(up).count());
}

}  // namespace

std::string ServiceStatusText() {
  const WalkProcessState settings = SharedWalkSettings();
  return Line(ZVXPC_STATUS_VERSION, ZVXPC_VERSION) +
         Line(ZVXPC_STATUS_BULK_REPETITIONS, BulkRepetitionsText(settings.bulk_repetitions)) +
         Line(ZVXPC_STATUS_WALKS_RUNNING, std::to_string(WalksRunning())) +
         Line(ZVXPC_STATUS_WALKS_WAITING, std::to_string(WalksWaiting())) +
         Line(ZVXPC_STATUS_WALK_TIMEOUT, std::to_string(settings.time_limit_seconds)) +
         Line(ZVXPC_STATUS_TOGGLES, TogglesText(settings.toggled)) +
         Line(ZVXPC_STATUS_VERBOSE, VerboseLogOn() ? "on" : "off") +
         Line(ZVXPC_STATUS_LOG, OneLineText(LogTarget())) +
         Line(ZVXPC_STATUS_PID, std::to_string(::getpid())) + Line(ZVXPC_STATUS_UPTIME, UptimeText()) +
         Line(ZVXPC_STATUS_WATCHES, std::to_string(ListWatchCount())) + ZVXPC_STATUS_PREFERENCES_DIR + "=" +
         WalkPreferencesDirectory();
}

}  // namespace zv
