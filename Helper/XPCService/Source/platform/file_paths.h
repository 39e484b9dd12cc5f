// SPDX-License-Identifier: MIT
// Where a write to a path lands, and the hidden names the system gives the
// files it creates beside it for a moment (temporaries, probes).
#pragma once

#include <string>

namespace zv {

/// Longest chain of symbolic links that FollowFinalLinks follows.
constexpr int kMaxLinkHops = 40;

/// The folder part of `path` including its final slash; empty for a bare
/// name (the current folder).
std::string FolderPrefix(const std::string& path);

/// The folder part of `path` as a path that opens it ("." for a bare name).
std::string FolderOf(const std::string& path);

/// The path that a write to `path` lands on: `path` itself, or, while its
/// last component is a symbolic link, the link's target (a relative target
/// taken from the link's folder), which may be missing. False with errno
/// ELOOP beyond kMaxLinkHops links, or ENAMETOOLONG for a link text that
/// does not fit a path.
bool FollowFinalLinks(const std::string& path, std::string* target);

/// Where a write to a list path may land: the file at the end of its link
/// chain, named by its folder's canonical path and its own name.
struct ListFile {
  std::string path;     // canonical folder + "/" + name
  bool exists = false;  // a regular file is there (false: nothing has the name yet)
};

/// Follows the symbolic links at the end of `path`, one at a time, and
/// accepts where they lead only when it is a regular file or a name that
/// nothing has yet in an existing folder. Each link's folder is made
/// canonical before the link is read, so a chain into /proc or /sys (or a
/// file system of either kind mounted elsewhere) is refused before any
/// link there is followed: the text of a /proc/self/fd link names no path.
/// Nothing is opened, created or changed. False with `*reason` saying what
/// the path leads to: "'PATH' leads to a device node, not a regular file"
/// (likewise "a FIFO", "a socket", "a directory"), "'PATH' leads through
/// /proc" (or "/sys"), "'PATH' is a loop of symbolic links" (also beyond
/// kMaxLinkHops links), or the failing call with its errno text (a folder
/// that does not exist: realpath's ENOENT).
bool FollowToListFile(const std::string& path, ListFile* file, std::string* reason);

/// A hidden name beside `path` that no other writer uses at once:
/// ".<file name>.<pid>.<counter><suffix>", the file name shortened where
/// the whole would exceed the longest directory entry name.
std::string HiddenNameBeside(const std::string& path, const std::string& suffix);

/// The process id in `entry` when it is a hidden name that HiddenNameBeside
/// gave `path` (with `suffix`, which starts with a dot) in any process; 0
/// when it is not one.
long HiddenNameOwner(const std::string& path, const std::string& entry, const std::string& suffix);

/// The process id in `entry` when it has the shape of a hidden name that
/// HiddenNameBeside gives any file (with `suffix`); 0 when it has not.
long HiddenNameOwnerOfAnyFile(const std::string& entry, const std::string& suffix);

}  // namespace zv
