// SPDX-License-Identifier: MIT
// Telling clients that a profile list changed. Whatever writes a list
// file (a walk's save, a client's write, rename, swap or removal) notes
// the change once it succeeded; each connection that watches keeps its
// own queue of the changes it asked for and takes them one per request,
// so that a change that comes between two watch requests waits for the
// next one instead of being lost.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

/// How long a watch request waits for a change before it answers that
/// none came: a client that went away is found out by then (the reply
/// cannot go out), and the connection's idle period never runs out.
inline constexpr int kWatchRenewMs = 60000;

/// What happened to a list file.
enum class ListChange { kWalk, kWrite, kRename, kSwap, kRemove };

/// Tells every watch whose files include `path` that `change` happened to
/// it. Safe to call from any thread.
void NoteListChanged(ListChange change, std::string_view path);

/// One connection's watch: the changes of the files it names, queued from
/// its creation until its end.
class ListChangeWatch {
 public:
  /// Watches the files at `paths`; none: every change the service makes.
  explicit ListChangeWatch(std::vector<std::string> paths);
  ~ListChangeWatch();
  ListChangeWatch(const ListChangeWatch&) = delete;
  ListChangeWatch& operator=(const ListChangeWatch&) = delete;

  /// The oldest change not yet taken, as KIND ":" PATH (zvxpc.h's
  /// ZVXPC_CHANGE_* words), waiting up to `wait_ms` for one; "" when none
  /// came by then or the service stops.
  std::string Next(int wait_ms);

  /// True when this watch covers exactly the files a request names.
  bool Watches(const std::vector<std::string>& paths) const { return paths == requested_; }

  struct Queue;

 private:
  std::vector<std::string> requested_;
  std::shared_ptr<Queue> queue_;
};

/// The files a watch request names: the current and previous lists of the
/// names MODEL ":ModelName:END" USER ":USErName:END" in the service's
/// folder, the path that is the whole text, or none for no text (every
/// list). nullopt when the names cannot be a list's.
std::optional<std::vector<std::string>> WatchedPaths(const std::optional<std::string>& request);

/// The connections watching now.
int ListWatchCount();

/// For a service that stops: every watch waiting answers at once, and so
/// does every later one.
void StopWatchingListChanges();

}  // namespace zv
