// SPDX-License-Identifier: MIT
// The spool-to-current merge: brings the current profile lists of one
// printer model and user up to date with the rows that a walk spooled and
// its process reported (list_update.h runs it on a list file).
//
// Menu states (`InMenu`) move only within {1, 2, 5} and {3, 4, 6}, or the
// slot is emptied:
//   before | ageing, walk ok | ageing, walk failed | a spool row matches
//     1    |       1         |        0            |        2
//     2    |       1         |        0            |        2
//     3    |       3         |        3            |        4
//     4    |       3         |        6            |        4
//     5    |       5         |        5            |        2
//     6    |       6         |        6            |        4
// A row that matches no entry becomes a new entry with state 2. Entries
// are identified within one list by `FileName` (all 32 bytes) and
// `Location`. Rows of class 1 or 2 go to the RGB list, rows of class 3 to
// the SIM and the DST list; only rows with `Location` 4 or 5 and an
// acceptable file name are merged.
#pragma once

#include "store/profile_lists.h"
#include "store/zvplist.h"

/// Ageing of one list: after walk result 0, `InMenu` 1 and 2 become 1 and 4
/// becomes 3; after any other result, 1 and 2 become 0 (the slot counts as
/// empty, its other fields stay) and 4 becomes 6. Nothing else changes.
void vDeleteMIBprofilesTemporary(int walkResult, ProfileList& list);

namespace zv {

/// Merges `row` into `list`: the first of the list's first `iNum` slots
/// with the same `FileName` and `Location` changes state (1 and 5 to 2, 3
/// and 6 to 4, others stay) and keeps its stored data; with no match the
/// row is copied whole into the lowest empty slot with state 2 and `iNum`
/// grows by one. A full list drops the row.
void MergeRowInto(const ProfileRecord& row, ProfileList& list);

/// Everything the merge does between loading and writing, on lists in
/// memory: ageing, the file-name check of the stored entries (with a
/// compaction of all three lists when it cleared a slot), the merge of
/// `spool`'s rows and the tidy passes (cleaning, compaction, salvage).
void MergeSpoolIntoLists(int walkResult, const ProfileList& spool, ProfileLists& lists);

}  // namespace zv
