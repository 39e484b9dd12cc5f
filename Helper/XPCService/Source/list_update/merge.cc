// SPDX-License-Identifier: MIT
#include "list_update/merge.h"

#include <string>
#include <string_view>

#include "list_update/file_name_check.h"
#include "platform/posix_io.h"

namespace {

constexpr int kSourceTypeFour = 4;
constexpr int kSourceTypeFive = 5;

// A name is judged only when it is terminated within its field: a field of
// 32 bytes without a zero holds a name too long for any profile list.
bool AcceptableFileName(const char (&name)[ZV_PROFILE_NAME_SIZE]) {
  if (!zv::HoldsZeroByte(std::string_view(name, sizeof name))) return false;
  return bJudgement8point3Format(name);
}

int32_t ReportedState(int32_t in_menu) {
  switch (in_menu) {
    case ZV_INMENU_LISTED:
    case ZV_INMENU_CLIENT: return ZV_INMENU_REPORTED;
    case ZV_INMENU_KEPT:
    case ZV_INMENU_KEPT_MISSING: return ZV_INMENU_KEPT_REPORTED;
    default: return in_menu;
  }
}

int32_t AgedState(int walk_result, int32_t in_menu) {
  const bool walk_ok = walk_result == 0;
  switch (in_menu) {
    case ZV_INMENU_LISTED:
    case ZV_INMENU_REPORTED: return walk_ok ? ZV_INMENU_LISTED : ZV_INMENU_EMPTY;
    case ZV_INMENU_KEPT_REPORTED: return walk_ok ? ZV_INMENU_KEPT : ZV_INMENU_KEPT_MISSING;
    default: return in_menu;
  }
}

// Which slots of each list held an entry when the list was loaded, before
// ageing emptied some of them.
struct LoadedSlots {
  bool rgb[ZV_PROFILE_SLOTS];
  bool sim[ZV_PROFILE_SLOTS];
  bool dst[ZV_PROFILE_SLOTS];
};

void NoteSlotsInUse(const ProfileList& list, bool (&in_use)[ZV_PROFILE_SLOTS]) {
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) in_use[slot] = list.slots[slot].InMenu != ZV_INMENU_EMPTY;
}

// The file-name check for one slot: clears it when it holds a name the
// check rejects. `iNum` counts the entries the list was loaded with, so a
// cleared slot lowers it only when it held one of them: an empty slot may
// still hold the name of an earlier entry (compaction leaves such slots
// behind it), while a slot that ageing emptied after a failed walk was
// loaded and counted.
bool ClearIfRejected(ProfileList& list, int slot, bool counted) {
  ProfileRecord& entry = list.slots[slot];
  if (entry.FileName[0] == '\0' || AcceptableFileName(entry.FileName)) return false;
  if (counted) zv::LowerCount(list);
  entry = ProfileRecord{};
  return true;
}

void AgeLists(int walk_result, zv::ProfileLists& lists) {
  vDeleteMIBprofilesTemporary(walk_result, lists.rgb);
  vDeleteMIBprofilesTemporary(walk_result, lists.sim);
  vDeleteMIBprofilesTemporary(walk_result, lists.dst);
}

// Returns true when at least one slot of any list was cleared.
bool ClearRejectedFileNames(zv::ProfileLists& lists, const LoadedSlots& loaded) {
  bool cleared = false;
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    cleared |= ClearIfRejected(lists.rgb, slot, loaded.rgb[slot]);
    cleared |= ClearIfRejected(lists.sim, slot, loaded.sim[slot]);
    cleared |= ClearIfRejected(lists.dst, slot, loaded.dst[slot]);
  }
  return cleared;
}

// All three lists, not only RGB: the row search looks only at the first
// `iNum` slots, and `iNum` has already shrunk for every hole, so an entry
// above a hole would be missed and its row inserted a second time.
void CompactAllLists(zv::ProfileLists& lists) {
  ZVPListPaddingProfile_Dict(&lists.rgb);
  ZVPListPaddingProfile_Dict(&lists.sim);
  ZVPListPaddingProfile_Dict(&lists.dst);
}

void MergeSpoolRow(const ProfileRecord& row, zv::ProfileLists& lists) {
  if (row.Location != kSourceTypeFour && row.Location != kSourceTypeFive) return;
  if (!AcceptableFileName(row.FileName)) return;
  switch (row.ProfileClass) {
    case 1:
    case 2: zv::MergeRowInto(row, lists.rgb); break;
    case 3:
      zv::MergeRowInto(row, lists.sim);
      zv::MergeRowInto(row, lists.dst);
      break;
    default: break;
  }
}

void MergeSpoolRows(const ProfileList& spool, zv::ProfileLists& lists) {
  const int rows = zv::SearchedSlots(spool);
  for (int row_index = 0; row_index < rows; ++row_index) MergeSpoolRow(spool.slots[row_index], lists);
}

void TidyList(ProfileList& list) {
  ZVPListCleanProfile_Dict(&list);
  ZVPListPaddingProfile_Dict(&list);
  ZVPListSalvage_Dict(&list);
}

int LowestEmptySlot(const ProfileList& list) {
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    if (list.slots[slot].InMenu == ZV_INMENU_EMPTY) return slot;
  }
  return -1;
}

}  // namespace

void vDeleteMIBprofilesTemporary(int walkResult, ProfileList& list) {
  for (ProfileRecord& entry : list.slots) entry.InMenu = AgedState(walkResult, entry.InMenu);
}

namespace zv {

void MergeRowInto(const ProfileRecord& row, ProfileList& list) {
  const int searched = SearchedSlots(list);
  for (int slot = 0; slot < searched; ++slot) {
    ProfileRecord& entry = list.slots[slot];
    if (SameProfile(entry, row)) {
      entry.InMenu = ReportedState(entry.InMenu);
      return;
    }
  }
  const int empty = LowestEmptySlot(list);
  if (empty < 0) return;
  list.slots[empty] = row;
  list.slots[empty].InMenu = ZV_INMENU_REPORTED;
  RaiseCount(list);
}

void MergeSpoolIntoLists(int walkResult, const ProfileList& spool, ProfileLists& lists) {
  LoadedSlots loaded;
  NoteSlotsInUse(lists.rgb, loaded.rgb);
  NoteSlotsInUse(lists.sim, loaded.sim);
  NoteSlotsInUse(lists.dst, loaded.dst);
  AgeLists(walkResult, lists);
  if (ClearRejectedFileNames(lists, loaded)) CompactAllLists(lists);
  MergeSpoolRows(spool, lists);
  TidyList(lists.rgb);
  TidyList(lists.sim);
  TidyList(lists.dst);
}

}  // namespace zv
