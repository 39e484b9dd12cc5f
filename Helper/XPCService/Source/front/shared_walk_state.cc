// SPDX-License-Identifier: MIT
#include "front/shared_walk_state.h"

#include <mutex>
#include <set>

namespace zv {
namespace {

// More printers than any dialog walks: past it, the memory starts afresh.
constexpr std::size_t kMaxDeafPrinters = 1024;

struct Shared {
  std::mutex mutex;
  WalkProcessState state;
  std::optional<std::string> mibs;        // MIBS as walks have loaded it
  std::optional<std::string> mibs_on_trial;  // from an -m, until a walk that uses it ends
  std::set<std::string> deaf_to_bulk;
};

Shared& TheShared() {
  static Shared* const shared = new Shared;  // walks may end while main returns
  return *shared;
}

}  // namespace

void SetSharedWalkState(const WalkProcessState& state, std::optional<std::string> mibs) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  shared.state = state;
  shared.mibs = std::move(mibs);
}

WalkStart BeginSharedWalk(const std::optional<std::string>& address, const std::optional<std::string>& new_mibs) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  WalkStart start;
  start.state = shared.state;
  start.mibs_on_trial = shared.mibs_on_trial.has_value();
  start.mibs = start.mibs_on_trial ? shared.mibs_on_trial : shared.mibs;
  start.device_deaf_to_bulk = address && shared.deaf_to_bulk.count(*address) != 0;
  if (new_mibs) shared.mibs_on_trial = new_mibs;
  return start;
}

void SettleMibs(const std::string& tried, bool loaded) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.mibs_on_trial != tried) return;
  if (loaded) shared.mibs = tried;
  shared.mibs_on_trial.reset();
}

void TakeWalkToggles(const WalkToggles& start, const WalkToggles& end) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  CarryToggleChanges(start, end, &shared.state.toggled);
}

void TakeVariablesFound(int32_t start, int32_t end) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  CarryVariablesFound(start, end, &shared.state.variables_found);
}

void RememberDeafToBulk(const std::string& address) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.deaf_to_bulk.size() >= kMaxDeafPrinters) shared.deaf_to_bulk.clear();
  shared.deaf_to_bulk.insert(address);
}

std::optional<std::string> SharedMibs() {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  return shared.mibs_on_trial ? shared.mibs_on_trial : shared.mibs;
}

WalkProcessState SharedWalkSettings() {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  return shared.state;
}

}  // namespace zv
