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
