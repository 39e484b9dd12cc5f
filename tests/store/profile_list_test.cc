// SPDX-License-Identifier: MIT
// List normalisation: the count follows the used slots, and the slots from
// the new count up are cleared whenever the count had to be corrected.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "store/zvplist.h"
#include "store_fixture.h"

namespace {

using zvtest::FillSlot;
using zvtest::NewList;
using zvtest::PackedList;

bool SlotIsZero(const ProfileRecord& slot) {
  static const ProfileRecord kZero{};
  return std::memcmp(&slot, &kZero, sizeof slot) == 0;
}

TEST(ProfileListNormalisationTest, CountFollowsTheUsedSlots) {
  struct Case {
    const char* name;
    int packed;                             // used slots of the starting list
    std::function<void(ProfileList*)> edit; // its damage
    int count;                              // the count afterwards
    std::vector<int> cleared;               // slots left all zero
    std::vector<int> kept;                  // slots still in use, as they were
    bool unchanged = false;                 // the whole list as it was
  };
  const Case cases[] = {
      {"correct count: leftovers beyond the used slots survive", 10,
       [](ProfileList* l) { l->slots[20].IndexOnDevice = 99; }, 10, {}, {9}, true},
      {"too large count: corrected and the tail cleared", 10,
       [](ProfileList* l) {
         l->iNum = 12;
         l->slots[11].IndexOnDevice = 5;  // stale field of an empty slot
         l->slots[300].ProfileClass = 8;
         l->slots[499].Location = 4;
       },
       10, {10, 11, 20, 300, 499}, {9}},
      {"a gap makes the last used slot lost", 11, [](ProfileList* l) { l->slots[5] = ProfileRecord{}; }, 10,
       {5, 10}, {9}},
      {"a gap with a matching count stays", 11,
       [](ProfileList* l) {
         l->slots[5] = ProfileRecord{};
         l->iNum = 10;
       },
       10, {5}, {10}},
      {"full list with zero count keeps every slot", 500, [](ProfileList* l) { l->iNum = 0; }, 500, {}, {499}},
      {"negative count is replaced by the used count", 3, [](ProfileList* l) { l->iNum = -7; }, 3, {}, {2}},
      {"an empty slot with fields counts as empty", 0,
       [](ProfileList* l) {
         FillSlot(l, 0, 4, 0);  // fields set, InMenu 0
         l->iNum = 1;
       },
       0, {0}, {}},
      {"all-zero list", 0, [](ProfileList*) {}, 0, {0}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto list = c.packed > 0 ? PackedList(c.packed, 1) : NewList();
    c.edit(list.get());
    const auto before = *list;
    ZVPlistCheckWithInMenu_Dict(list.get());
    EXPECT_EQ(list->iNum, c.count);
    for (int slot : c.cleared) EXPECT_TRUE(SlotIsZero(list->slots[slot])) << "slot " << slot;
    for (int slot : c.kept) {
      EXPECT_EQ(std::memcmp(&list->slots[slot], &before.slots[slot], sizeof(ProfileRecord)), 0) << "slot " << slot;
      EXPECT_NE(list->slots[slot].InMenu, 0) << "slot " << slot;
    }
    std::string where;
    if (c.unchanged) {
      EXPECT_TRUE(zvtest::SameList(*list, before, &where)) << where;
    }
  }
}

}  // namespace
