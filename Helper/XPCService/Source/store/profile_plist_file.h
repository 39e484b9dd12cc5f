// SPDX-License-Identifier: MIT
// The whole-file reader and writer of the profile list with their reasons,
// for the service's diagnostics and the command-line tool; the C functions
// of zvplist.h are these with the reason dropped.
#pragma once

#include <string>

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

}  // namespace zv
