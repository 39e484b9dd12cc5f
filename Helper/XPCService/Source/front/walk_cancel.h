// SPDX-License-Identifier: MIT
// Cancelling walks by their profile list: a client that gave up on a walk
// (a dialog closed) names the list, and the walks of that list, running or
// waiting for their turn, end without merging anything.
//
// A walk marks itself cancellable for its whole request (WalkCancelScope,
// on the thread that serves it); the walk's supervisor, on that same
// thread, looks at CurrentWalkCancelled while it follows the process.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace zv {

/// Registers the calling thread's walk of the list whose lock name is
/// `list_name` (ProfileListLockName) for as long as it lives.
class WalkCancelScope {
 public:
  explicit WalkCancelScope(std::string list_name);
  ~WalkCancelScope();
  WalkCancelScope(const WalkCancelScope&) = delete;
  WalkCancelScope& operator=(const WalkCancelScope&) = delete;

  /// True once CancelWalksOf named this walk's list.
  bool cancelled() const { return flag_->load(); }

 private:
  std::string list_name_;
  std::shared_ptr<std::atomic<bool>> flag_;
};

/// Marks every registered walk of `list_name` cancelled: true when there
/// was one.
bool CancelWalksOf(const std::string& list_name);

/// True when the calling thread's walk (its WalkCancelScope) was
/// cancelled; false when the thread has none.
bool CurrentWalkCancelled();

/// The cancel request (`cancelWalk_XPC:reply:`): the walk request's name
/// part MODEL ":ModelName:END" USER ":USErName:END" (walk arguments after
/// it are not read) names the list in the service's folder, as the walk
/// request does. True when a walk of that list was cancelled; false when
/// none ran or waited, or the request names no list.
bool CancelWalkRequest(const std::optional<std::string>& request);

}  // namespace zv
