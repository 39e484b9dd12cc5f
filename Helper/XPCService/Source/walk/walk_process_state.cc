// SPDX-License-Identifier: MIT
#include "walk/walk_process_state.h"

#include <cstdlib>

#include "walk/walk_settings.h"
#include "walk/walk_state.h"

namespace zv {
namespace {

void ToggleWhen(bool toggled, WalkSetting setting) {
  if (toggled) ToggleWalkSetting(setting);
}

}  // namespace

void CarryWalkChanges(const WalkProcessState& start, const WalkProcessState& end, WalkProcessState* shared) {
  shared->include_requested_toggled ^= start.include_requested_toggled != end.include_requested_toggled;
  shared->print_statistics_toggled ^= start.print_statistics_toggled != end.print_statistics_toggled;
  shared->dont_check_ordering_toggled ^= start.dont_check_ordering_toggled != end.dont_check_ordering_toggled;
  if (end.variables_found > start.variables_found) {
    const int64_t sum = int64_t{shared->variables_found} + end.variables_found - start.variables_found;
    shared->variables_found = static_cast<int32_t>(sum < INT32_MAX ? sum : INT32_MAX);
  }
  if (end.mibs != start.mibs) shared->mibs = end.mibs;
}

void ApplyWalkSettings(const WalkProcessState& state) {
  SetWalkTimeLimit(state.time_limit_seconds);
  SetWalkRequestLimit(static_cast<long>(state.request_limit));
  SetDefaultBulkRepetitions(state.bulk_repetitions);
  numprinted = state.variables_found < 0 ? 0 : state.variables_found;
  if (state.mibs) {
    setenv("MIBS", state.mibs->c_str(), 1);
  } else {
    unsetenv("MIBS");
  }
}

void ApplyWalkToggles(const WalkProcessState& state) {
  ToggleWhen(state.include_requested_toggled, WalkSetting::kIncludeRequested);
  ToggleWhen(state.print_statistics_toggled, WalkSetting::kPrintStatistics);
  ToggleWhen(state.dont_check_ordering_toggled, WalkSetting::kDontCheckOrdering);
}

std::vector<std::string> WalkProcessEnvironment(const std::vector<std::string>& environment,
                                                const std::optional<std::string>& mibs) {
  std::vector<std::string> result;
  for (const std::string& entry : environment) {
    if (entry.rfind("MIBS=", 0) != 0) result.push_back(entry);
  }
  if (mibs) result.push_back("MIBS=" + *mibs);
  return result;
}

WalkSettingValues CurrentWalkSettingValues() {
  return {WalkSettingOn(WalkSetting::kIncludeRequested), WalkSettingOn(WalkSetting::kPrintStatistics),
          WalkSettingOn(WalkSetting::kDontCheckOrdering)};
}

WalkProcessState CaptureWalkState(const WalkProcessState& start, const WalkSettingValues& presets) {
  const WalkSettingValues now = CurrentWalkSettingValues();
  WalkProcessState state = start;
  state.include_requested_toggled = now.include_requested != presets.include_requested;
  state.print_statistics_toggled = now.print_statistics != presets.print_statistics;
  state.dont_check_ordering_toggled = now.dont_check_ordering != presets.dont_check_ordering;
  state.variables_found = numprinted;
  const char* mibs = std::getenv("MIBS");
  state.mibs = mibs ? std::optional<std::string>(mibs) : std::nullopt;
  return state;
}

}  // namespace zv
