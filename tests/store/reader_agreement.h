// SPDX-License-Identifier: MIT
// Running the fast XML reader and the libplist path of the profile-list
// reader on the same bytes and comparing what they make of them; shared by
// the agreement test and the profile-list fuzz target.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "store/profile_plist_private.h"

namespace zvtest {

/// What one reader made of a file.
struct ReaderOutcome {
  /// False when the reader left the bytes undecided (fast reader only) or
  /// found no property list in them (libplist path).
  bool read = false;
  std::unique_ptr<zv::ProfileClasses> classes = std::make_unique<zv::ProfileClasses>();
};

/// The fast XML reader alone on `data`.
ReaderOutcome ReadFast(std::string_view data);

/// The libplist path alone on `data` (parse, then the node decoder).
ReaderOutcome ReadThroughLibplist(std::string_view data);

/// The store's reader (LoadProfileClasses: the fast reader, else libplist)
/// on `data`, written first to the file `path`.
ReaderOutcome ReadAsStored(std::string_view data, const std::string& path);

/// Empty when `fast` (decided) and `reference` hold the same classes: the
/// same problems, counts and present fields with equal values, and equal
/// lists once applied to a list filled with a pattern. Otherwise a line
/// naming the first difference.
std::string ClassesDifference(const ReaderOutcome& fast, const ReaderOutcome& reference);

}  // namespace zvtest
