// SPDX-License-Identifier: MIT
// The merge's three passes over one profile list: cleaning, compaction and
// salvage. They belong to the store by their names; the merge is their
// only caller.
#include "store/profile_lists.h"
#include "store/zvplist.h"

namespace {

bool HasFileName(const ProfileRecord& entry) { return entry.FileName[0] != '\0'; }

bool IsEmpty(const ProfileRecord& entry) { return entry.InMenu == ZV_INMENU_EMPTY; }

}  // namespace

extern "C" {

void ZVPListCleanProfile_Dict(ProfileList* list) {
  for (ProfileRecord& entry : list->slots) {
    if (entry.IndexOnDevice != 0 || !HasFileName(entry)) continue;
    if (entry.InMenu == ZV_INMENU_KEPT || entry.InMenu == ZV_INMENU_KEPT_REPORTED) {
      entry.IndexOnDevice = ZV_INDEX_KEPT_WITHOUT_DEVICE;
      entry.InMenu = ZV_INMENU_KEPT;
    } else {
      entry = ProfileRecord{};
      zv::LowerCount(*list);
    }
  }
}

// One pass: each used slot moves down to the lowest slot not yet filled and
// leaves a cleared slot behind. Empty slots that no used slot moves into
// keep whatever an emptying pass left in them.
void ZVPListPaddingProfile_Dict(ProfileList* list) {
  int target = 0;
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    if (IsEmpty(list->slots[slot])) continue;
    if (slot != target) {
      list->slots[target] = list->slots[slot];
      list->slots[slot] = ProfileRecord{};
    }
    ++target;
  }
}

void ZVPListSalvage_Dict(ProfileList* list) {
  for (ProfileRecord& entry : list->slots) {
    if (entry.IndexOnDevice != 0 && HasFileName(entry) && entry.InMenu == ZV_INMENU_KEPT) {
      entry.InMenu = ZV_INMENU_KEPT_MISSING;
    }
  }
}

}  // extern "C"
