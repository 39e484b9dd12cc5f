// SPDX-License-Identifier: MIT
// The profile record and list: their fixed layout, shared with C callers of
// the library and with the driver's user interface, and the list
// normalisation that every reader applies.
#include <cstddef>
#include <cstring>

#include "store/zvplist.h"

// The layout is part of the library's interface: fields in this order, no
// padding, 84 bytes a record and 500 records before the count.
static_assert(ZV_PROFILE_SLOTS == 500 && ZV_PROFILE_NAME_SIZE == 32);
static_assert(offsetof(ProfileRecord, IndexOnDevice) == 0);
static_assert(offsetof(ProfileRecord, InMenu) == 4);
static_assert(offsetof(ProfileRecord, ProfileClass) == 8);
static_assert(offsetof(ProfileRecord, FileName) == 12);
static_assert(offsetof(ProfileRecord, ProfileName) == 44);
static_assert(offsetof(ProfileRecord, Location) == 76);
static_assert(offsetof(ProfileRecord, ProfileAvailability) == 80);
static_assert(sizeof(ProfileRecord) == 84 && alignof(ProfileRecord) == 4);
static_assert(sizeof(ProfileRecord::FileName) == 32 && sizeof(ProfileRecord::ProfileName) == 32);
static_assert(offsetof(ProfileList, slots) == 0);
static_assert(sizeof(ProfileList::slots) == 500 * sizeof(ProfileRecord));
static_assert(offsetof(ProfileList, iNum) == 500 * sizeof(ProfileRecord));
static_assert(sizeof(ProfileList) == 42004 && alignof(ProfileList) == 4);

namespace {

int32_t CountUsedSlots(const ProfileList& list) {
  int32_t used = 0;
  for (const ProfileRecord& slot : list.slots) {
    if (slot.InMenu != ZV_INMENU_EMPTY) ++used;
  }
  return used;
}

}  // namespace

extern "C" void ZVPlistCheckWithInMenu_Dict(ProfileList* list) {
  if (list == nullptr) return;
  const int32_t used = CountUsedSlots(*list);
  if (used == list->iNum) return;
  // The used slots are taken to stand at the front: everything from the
  // count up is cleared, whatever it holds.
  std::memset(list->slots + used, 0, sizeof(ProfileRecord) * static_cast<std::size_t>(ZV_PROFILE_SLOTS - used));
  list->iNum = used;
}
