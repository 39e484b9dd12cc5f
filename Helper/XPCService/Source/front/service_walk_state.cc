// SPDX-License-Identifier: MIT
#include "front/service_walk_state.h"

#include "report/walk_limits.h"

#include <mutex>
#include <map>

namespace zv {
namespace {

using Clock = std::chrono::steady_clock;

// Walks in a row that left their first GETBULK unanswered before a
// printer is taken as deaf to GETBULK: one lost datagram is not deafness.
constexpr int kUnansweredWalksForDeafness = 2;

struct PrinterMemory {
  int unanswered_walks = 0;                 // in a row
  std::optional<Clock::time_point> deaf_since;
  int32_t whole_repetitions = 0;
};

struct Shared {
  std::mutex mutex;
  WalkProcessState state;
  std::optional<std::string> mibs;        // MIBS as walks have loaded it
  std::optional<std::string> mibs_on_trial;  // from an -m, until a walk that uses it ends
  std::map<std::string, PrinterMemory> printers;
  SharedWalkClock now = Clock::now;
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

WalkStart BeginSharedWalk(const std::optional<std::string>& printer, const std::optional<std::string>& new_mibs) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  WalkStart start;
  start.state = shared.state;
  start.mibs_on_trial = shared.mibs_on_trial.has_value();
  start.mibs = start.mibs_on_trial ? shared.mibs_on_trial : shared.mibs;
  if (new_mibs) shared.mibs_on_trial = new_mibs;
  const auto known = printer ? shared.printers.find(*printer) : shared.printers.end();
  if (known == shared.printers.end()) return start;
  const PrinterMemory& memory = known->second;
  start.device_deaf_to_bulk = memory.deaf_since && shared.now() < *memory.deaf_since + kDeafToGetBulkFor;
  start.start_repetitions = memory.whole_repetitions;
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

void TakePrinterWalk(const std::string& printer, const WalkEnd& end) {
  if (!end.deaf_to_bulk && !end.bulk_answered) return;  // it sent no GETBULK, or met silence
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.printers.size() >= kMaxKnownPrinters && shared.printers.count(printer) == 0) shared.printers.clear();
  PrinterMemory& memory = shared.printers[printer];
  if (end.bulk_answered) {
    memory.unanswered_walks = 0;
    memory.deaf_since.reset();
    if (end.whole_repetitions > 0) memory.whole_repetitions = end.whole_repetitions;
  } else if (++memory.unanswered_walks >= kUnansweredWalksForDeafness) {
    memory.deaf_since = shared.now();
  }
}

void SetSharedWalkClock(SharedWalkClock now) {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  shared.now = now != nullptr ? now : Clock::now;
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
