// SPDX-License-Identifier: MIT
// The three class lists of one profile list, and the two rules that every
// pass over a list shares: which slots are searched, and when two records
// hold the same profile.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/fixed_field.h"
#include "store/zvplist.h"

namespace zv {

/// The three class lists of one profile list, always together and in the
/// store's order. About 126 KB.
struct ProfileLists {
  ProfileList rgb;
  ProfileList sim;
  ProfileList dst;
  /// The list of class `selector` (ZV_CLASS_RGB or ZV_CLASS_SIM; any other
  /// value: DST).
  ProfileList* of(int32_t selector) { return selector == ZV_CLASS_RGB ? &rgb : selector == ZV_CLASS_SIM ? &sim : &dst; }
};

/// The slots a pass searches: the first `iNum`, the count held within 0 to
/// 500, since a count read from a file or given by a caller may be anything.
inline int SearchedSlots(const ProfileList& list) { return std::clamp<int32_t>(list.iNum, 0, ZV_PROFILE_SLOTS); }

/// Lowers a list's count by one for a slot cleared, never below 0 (a count
/// given by a caller may be anything).
inline void LowerCount(ProfileList& list) {
  if (list.iNum > 0) --list.iNum;
}

/// Raises a list's count by one for a slot filled, never past INT32_MAX.
inline void RaiseCount(ProfileList& list) {
  if (list.iNum < INT32_MAX) ++list.iNum;
}

/// A profile is known within one list by its file name (as text, up to its
/// terminator or the end of the field) and its source type.
inline bool SameProfile(const ProfileRecord& a, const ProfileRecord& b) {
  return a.Location == b.Location && FieldText(a.FileName) == FieldText(b.FileName);
}

}  // namespace zv
