// SPDX-License-Identifier: MIT
// Keeping an unreadable profile list aside before the merge writes over it.
//
// A list that exists but cannot be read (damaged, nested too deep, over
// the size bound, another encoding, written by another tool without one of
// its dictionaries) still holds the user's profiles. The merge goes on as
// for a missing list, so the list it writes starts empty; the old bytes
// are first renamed, whole, to a name beside them that says what they are.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_identity.h"

namespace zv {

/// Ending of the names an unreadable list is kept under: "NAME.unreadable",
/// then "NAME.unreadable.1" to "NAME.unreadable.9".
inline constexpr std::string_view kUnreadableListSuffix = ".unreadable";
/// How many unreadable lists are kept beside one list, at most.
inline constexpr int kUnreadableListNames = 10;

/// What KeepUnreadableListAside did.
enum class KeepAsideOutcome {
  kMissing,    // no file is there: nothing to keep
  kReplaced,   // another file has the name now: it was not read, and is left alone
  kKeptAside,  // the file now has the name `kept_as`
  kNotMoved,   // the file is still there; `error` says why it was not moved
};

struct KeptAside {
  KeepAsideOutcome outcome = KeepAsideOutcome::kMissing;
  std::string kept_as;
  std::string error;
};

/// For the profile list at `path`, whose file `unread` the reader could
/// not read: when the path leads to no regular file or name
/// (FollowToListFile refuses it), kNotMoved with that reason; when no file
/// is there (a dangling link included), kMissing;
/// when the file there now is another one than `unread` (a client wrote
/// the list since), kReplaced. Otherwise renames that file (for a symbolic
/// link, the file at the end of the chain, in its own folder, so that the
/// link stays and the next save lands behind it) to the first free name of
/// "NAME.unreadable", "NAME.unreadable.1", ... "NAME.unreadable.9", never
/// over an existing file: kKeptAside. kNotMoved with the reason when every
/// name is taken or the rename fails; the file is then where it was, and a
/// caller that would overwrite it must not. Only a file that is replaced
/// in the instant between the identity check and the rename can be moved
/// in the place of `unread`.
KeptAside KeepUnreadableListAside(const std::string& path, const FileIdentity& unread);

}  // namespace zv
