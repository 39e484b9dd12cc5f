// SPDX-License-Identifier: MIT
#include "front/walk_cancel.h"

#include <map>
#include <mutex>

#include "front/walk_request.h"
#include "store/list_lock.h"

namespace zv {
namespace {

// The walks registered now, by their list's lock name (one list may have
// a walk running and others waiting).
struct Registry {
  std::mutex mutex;
  std::multimap<std::string, std::shared_ptr<std::atomic<bool>>> walks;
};

Registry& Walks() {
  static Registry registry;
  return registry;
}

thread_local const std::atomic<bool>* current_walk = nullptr;

}  // namespace

WalkCancelScope::WalkCancelScope(std::string list_name)
    : list_name_(std::move(list_name)), flag_(std::make_shared<std::atomic<bool>>(false)) {
  std::lock_guard<std::mutex> lock(Walks().mutex);
  Walks().walks.emplace(list_name_, flag_);
  current_walk = flag_.get();
}

WalkCancelScope::~WalkCancelScope() {
  current_walk = nullptr;
  std::lock_guard<std::mutex> lock(Walks().mutex);
  auto [first, last] = Walks().walks.equal_range(list_name_);
  for (auto it = first; it != last; ++it) {
    if (it->second == flag_) {
      Walks().walks.erase(it);
      return;
    }
  }
}

bool CancelWalksOf(const std::string& list_name) {
  std::lock_guard<std::mutex> lock(Walks().mutex);
  auto [first, last] = Walks().walks.equal_range(list_name);
  for (auto it = first; it != last; ++it) it->second->store(true);
  return first != last;
}

bool CurrentWalkCancelled() { return current_walk != nullptr && current_walk->load(); }

bool CancelWalkRequest(const std::optional<std::string>& request) {
  WalkRequestStorage storage;
  if (DecodeWalkRequest(request, WalkPreferencesDirectory(), &storage) != WalkDecodeStatus::kReady) return false;
  return CancelWalksOf(ProfileListLockName(storage.current_path));
}

}  // namespace zv
