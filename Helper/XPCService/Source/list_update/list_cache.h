// SPDX-License-Identifier: MIT
// The profile lists the service read or wrote most recently (at most
// kCachedLists of them), by their file: a walk of a list that nobody
// changed since neither reads nor parses it again (a full list is about
// 470 KB of XML).
//
// A file is known by its device, inode, size, modification time and change
// time, all to the nanosecond: a file replaced gets a new inode, and one
// written in place a new change time, which no process can set back.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>

#include "store/profile_lists.h"

namespace zv {

/// How many lists the cache holds at most (each about 600 KB): more than
/// the lists one dialog walks in turn.
inline constexpr std::size_t kCachedLists = 8;

/// What the cache knows of one file.
struct CachedList {
  ProfileLists lists;  // as the store reads them
  std::string bytes;   // the file's content
};

/// The lists and bytes of the file `status` describes, when the cache
/// holds that file as it is now (`name` is the list's lock name); null
/// otherwise.
std::unique_ptr<CachedList> FindCachedList(const std::string& name, const struct stat& status);

/// Remembers `list` as what the file `status` describes holds, for the
/// list of lock name `name`, in place of what was known of it; the list
/// remembered longest ago goes when the cache is full.
void RememberList(const std::string& name, const struct stat& status, const CachedList& list);

}  // namespace zv
