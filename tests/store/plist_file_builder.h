// SPDX-License-Identifier: MIT
// Building profile property lists by hand with libplist, independently of
// the store's writer, for the reader's tests.
#pragma once

#include <plist/plist.h>

#include <string>

namespace zvtest {

/// A class dictionary with the entries of slots [0, slots): IndexOnDevice
/// 100+i, InMenu 1, ProfileClass -(i+1), Location 4, FileName "F<i>.icc",
/// ProfileName "Name <i>"; "iNum" `slots` unless `with_count` is false.
/// The caller owns the result.
plist_t BuildClassDictionary(int slots, bool with_count = true);

/// A top-level dictionary with "RGB", "SIM" and "DST" built by
/// BuildClassDictionary(slots) and "PlistVersion" 1. Caller owns it.
plist_t BuildProfilePlist(int slots);

/// The field dictionary `field` of class `class_key` in `root`.
plist_t FieldDictionary(plist_t root, const char* class_key, const char* field);

/// Writes `root` to `path` as XML (or binary) with libplist itself.
void WritePlistFile(const std::string& path, plist_t root, bool binary = false);

}  // namespace zvtest
