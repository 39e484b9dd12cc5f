// SPDX-License-Identifier: MIT
#include "store_fixture.h"

#include <cstdio>
#include <cstring>

#include "platform/fixed_field.h"

namespace zvtest {

std::unique_ptr<ProfileList> NewList() {
  auto list = std::make_unique<ProfileList>();
  std::memset(list.get(), 0, sizeof *list);
  return list;
}

void FillSlot(ProfileList* list, int slot, int32_t seed, int32_t in_menu) {
  ProfileRecord& r = list->slots[slot];
  r.IndexOnDevice = seed;
  r.InMenu = in_menu;
  r.ProfileClass = -seed;
  r.Location = seed * 7 - 3;
  char text[40];
  std::snprintf(text, sizeof text, "P%d_%d.icc", seed, slot);
  zv::CopyToField(r.FileName, text);
  std::snprintf(text, sizeof text, "Profile %d \xc3\xa9", seed);
  zv::CopyToField(r.ProfileName, text);
}

std::unique_ptr<ProfileList> PackedList(int count, int32_t seed) {
  auto list = NewList();
  for (int i = 0; i < count; ++i) FillSlot(list.get(), i, seed + i, 1 + (i % 6));
  list->iNum = count;
  return list;
}

bool SameList(const ProfileList& a, const ProfileList& b, std::string* where) {
  if (a.iNum != b.iNum) {
    *where = "iNum " + std::to_string(a.iNum) + " vs " + std::to_string(b.iNum);
    return false;
  }
  for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) {
    if (std::memcmp(&a.slots[i], &b.slots[i], sizeof(ProfileRecord)) != 0) {
      *where = "slot " + std::to_string(i);
      return false;
    }
  }
  return true;
}

StorePathsScope::StorePathsScope()
    : current_(dir_.File("user-model-profile.plist")),
      previous_(dir_.File("user-model-profile.prev.plist")),
      spool_(dir_.File("user-model-profile.spool.plist")) {
  ZV_PLIST_PROFILE_PATH = current_.data();
  ZV_PLIST_PROFILE_PREV_PATH = previous_.data();
  ZV_PLIST_PROFILE_SPOOL_PATH = spool_.data();
}

StorePathsScope::~StorePathsScope() {
  ZV_PLIST_PROFILE_PATH = nullptr;
  ZV_PLIST_PROFILE_PREV_PATH = nullptr;
  ZV_PLIST_PROFILE_SPOOL_PATH = nullptr;
}

void StorePathsScope::SetCurrent(const std::string& path) {
  current_ = path;
  ZV_PLIST_PROFILE_PATH = current_.data();
}

}  // namespace zvtest
