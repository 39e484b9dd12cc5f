// SPDX-License-Identifier: MIT
// Helpers shared by the store's tests: profile lists on the heap, filled
// with recognisable records, and the current path pointed at a temp dir.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/zvplist.h"
#include "support/temp_dir.h"

namespace zvtest {

/// A cleared list on the heap (a list is 42 KB).
std::unique_ptr<ProfileList> NewList();

/// Sets slot `slot` of `list` to a record whose fields derive from `seed`
/// (negative values included), with `in_menu` as its menu state.
void FillSlot(ProfileList* list, int slot, int32_t seed, int32_t in_menu);

/// A list with `count` packed used slots (seeded from `seed`) and iNum
/// `count`.
std::unique_ptr<ProfileList> PackedList(int count, int32_t seed);

/// True when the two lists are equal byte for byte; on a difference,
/// `*where` names the first differing slot and field.
bool SameList(const ProfileList& a, const ProfileList& b, std::string* where);

/// Points the three path variables at files in a fresh temp dir for one
/// test and sets them back to null afterwards.
class StorePathsScope {
 public:
  StorePathsScope();
  ~StorePathsScope();
  StorePathsScope(const StorePathsScope&) = delete;
  StorePathsScope& operator=(const StorePathsScope&) = delete;

  const TempDir& dir() const { return dir_; }
  const std::string& current() const { return current_; }
  const std::string& previous() const { return previous_; }
  /// Points the current path variable at `path` (kept alive here).
  void SetCurrent(const std::string& path);

 private:
  TempDir dir_;
  std::string current_, previous_, spool_;
};

}  // namespace zvtest
