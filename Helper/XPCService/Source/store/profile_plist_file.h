// SPDX-License-Identifier: MIT
// The whole-file reader and writer of the profile list with their reasons,
// for the service's diagnostics and the command-line tool; the C functions
// of zvplist.h are these with the reason dropped.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_identity.h"
#include "store/profile_lists.h"
#include "store/zvplist.h"

namespace zv {

/// Reads the three lists from the profile list at `path` as
/// ZVPListReadProfile_All does. False with the reason in `*error` (the
/// failing call and errno text, the parser's complaint, or the missing
/// dictionary) when `path` is null or longer than 254 bytes, the file
/// cannot be read, holds no property list or lacks a class or field
/// dictionary; all three lists are then left untouched.
bool ReadProfileListFile(const char* path, ProfileList* rgb, ProfileList* sim, ProfileList* dst, std::string* error);

/// Writes the three lists as the whole content of the profile list at
/// `path`, atomically, as ZVPListWriteProfile_All does after its
/// write-access test (which this does not run). False with the reason in
/// `*error` when the path is unusable or nothing was stored.
bool WriteProfileListFile(const char* path, const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst,
                          std::string* error);

/// A profile list as one read found it, for an update that may write it
/// back: what was there, which file it was, and its bytes as they were.
struct ProfileListSnapshot {
  enum class State {
    kMissing,     // no file at the path (a link to nothing included)
    kRead,        // read whole: the lists hold it, `bytes` its content
    kUnreadable,  // a file is there but could not be read as a list: `error` says why
  };
  State state = State::kMissing;
  FileIdentity identity;  // the file read, or found unreadable (zero when its identity was not to be had)
  std::string bytes;      // kRead: the file's bytes
  std::string error;      // kUnreadable: the reason, as ReadProfileListFile gives it
};

/// Reads the profile list at `path` once, as ReadProfileListFile does,
/// into `*lists` (cleared first, and left cleared unless the read
/// succeeds), and tells in `*snapshot` what the path held.
void SnapshotProfileListFile(const char* path, ProfileLists* lists, ProfileListSnapshot* snapshot);

/// The bytes WriteProfileListFile stores for `lists`.
std::string ProfileListBytes(const ProfileLists& lists);

/// Stores `bytes` (from ProfileListBytes) as WriteProfileListFile does;
/// `*in_place_unflushed` as ReplaceFileContents sets it.
bool WriteProfileListBytes(const char* path, std::string_view bytes, std::string* error,
                           bool* in_place_unflushed = nullptr);

}  // namespace zv
