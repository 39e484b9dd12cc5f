// SPDX-License-Identifier: MIT
#include "front/service_status.h"

#include "front/service_options.h"
#include "front/shared_walk_state.h"
#include "front/walk_request.h"
#include "zvxpc.h"

namespace zv {
namespace {

std::string Line(const char* name, const std::string& value) { return std::string(name) + "=" + value + "\n"; }

}  // namespace

std::string ServiceStatusText() {
  return Line(ZVXPC_STATUS_VERSION, ZVXPC_VERSION) +
         Line(ZVXPC_STATUS_BULK_REPETITIONS, BulkRepetitionsText(SharedWalkSettings().bulk_repetitions)) +
         Line(ZVXPC_STATUS_WALKS_RUNNING, std::to_string(WalksRunning())) +
         Line(ZVXPC_STATUS_WALKS_WAITING, std::to_string(WalksWaiting())) + ZVXPC_STATUS_PREFERENCES_DIR + "=" +
         WalkPreferencesDirectory();
}

}  // namespace zv
