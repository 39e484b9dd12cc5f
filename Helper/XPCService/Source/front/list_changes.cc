// SPDX-License-Identifier: MIT
#include "front/list_changes.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

#include "front/request_decoding.h"
#include "front/walk_request.h"
#include "store/list_lock.h"
#include "store/profile_list_path.h"
#include "zvxpc.h"

namespace zv {

// The changes one watch has not taken yet, and the files it covers by
// their lock names (a list named through a link or another spelling of
// its folder is the same list).
struct ListChangeWatch::Queue {
  std::set<std::string> names;  // empty: every file
  std::deque<std::string> changes;
  std::condition_variable changed;
};

namespace {

struct WatchRegistry {
  std::mutex mutex;
  std::set<std::shared_ptr<ListChangeWatch::Queue>> queues;
  bool stopping = false;
};

WatchRegistry& AllWatches() {
  static WatchRegistry watches;
  return watches;
}

const char* ChangeWord(ListChange change) {
  switch (change) {
    case ListChange::kWalk: return ZVXPC_CHANGE_WALK;
    case ListChange::kWrite: return ZVXPC_CHANGE_WRITE;
    case ListChange::kRename: return ZVXPC_CHANGE_RENAME;
    case ListChange::kSwap: return ZVXPC_CHANGE_SWAP;
    case ListChange::kRemove: return ZVXPC_CHANGE_REMOVE;
  }
  return "";
}

}  // namespace

void NoteListChanged(ListChange change, std::string_view path) {
  WatchRegistry& watches = AllWatches();
  {
    std::lock_guard<std::mutex> lock(watches.mutex);
    if (watches.queues.empty()) return;  // the common case: nobody watches
  }
  const std::string name = ProfileListLockName(std::string(path));
  const std::string text = std::string(ChangeWord(change)) + ":" + std::string(path);
  std::lock_guard<std::mutex> lock(watches.mutex);
  for (const std::shared_ptr<ListChangeWatch::Queue>& queue : watches.queues) {
    if (!queue->names.empty() && queue->names.count(name) == 0) continue;
    queue->changes.push_back(text);
    queue->changed.notify_all();
  }
}

ListChangeWatch::ListChangeWatch(std::vector<std::string> paths)
    : requested_(std::move(paths)), queue_(std::make_shared<Queue>()) {
  for (const std::string& path : requested_) queue_->names.insert(ProfileListLockName(path));
  std::lock_guard<std::mutex> lock(AllWatches().mutex);
  AllWatches().queues.insert(queue_);
}

ListChangeWatch::~ListChangeWatch() {
  std::lock_guard<std::mutex> lock(AllWatches().mutex);
  AllWatches().queues.erase(queue_);
}

std::string ListChangeWatch::Next(int wait_ms) {
  WatchRegistry& watches = AllWatches();
  std::unique_lock<std::mutex> lock(watches.mutex);
  queue_->changed.wait_for(lock, std::chrono::milliseconds(wait_ms),
                           [&] { return watches.stopping || !queue_->changes.empty(); });
  if (queue_->changes.empty()) return "";
  std::string change = std::move(queue_->changes.front());
  queue_->changes.pop_front();
  return change;
}

std::optional<std::vector<std::string>> WatchedPaths(const std::optional<std::string>& request) {
  if (!request || request->empty()) return std::vector<std::string>{};
  WalkFields fields;
  if (!DecodeWalkFields(*request, &fields)) return std::vector<std::string>{*request};
  WalkRequestStorage storage;
  if (DecodeWalkRequest(request, WalkPreferencesDirectory(), &storage) != WalkDecodeStatus::kReady) {
    return std::nullopt;
  }
  // The previous generation is named as the current one, by its own suffix.
  const std::string& current = storage.current_path;
  std::string previous = current.substr(0, current.size() - kCurrentProfileSuffix.size());
  previous += kPreviousProfileSuffix;
  return std::vector<std::string>{current, previous};
}

int ListWatchCount() {
  std::lock_guard<std::mutex> lock(AllWatches().mutex);
  return static_cast<int>(AllWatches().queues.size());
}

void StopWatchingListChanges() {
  WatchRegistry& watches = AllWatches();
  std::lock_guard<std::mutex> lock(watches.mutex);
  watches.stopping = true;
  for (const std::shared_ptr<ListChangeWatch::Queue>& queue : watches.queues) queue->changed.notify_all();
}

}  // namespace zv
