// SPDX-License-Identifier: MIT
// List normalisation: the count follows the used slots, and the slots from
// the new count up are cleared whenever the count had to be corrected.
#include <gtest/gtest.h>

#include <cstring>

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

TEST(ProfileListNormalisationTest, CorrectCountChangesNothing) {
  auto list = PackedList(10, 1);
  // Leftovers beyond the used slots survive while the count is right.
  list->slots[20].IndexOnDevice = 99;
  const auto before = *list;
  ZVPlistCheckWithInMenu_Dict(list.get());
  std::string where;
  EXPECT_TRUE(zvtest::SameList(*list, before, &where)) << where;
}

TEST(ProfileListNormalisationTest, TooLargeCountIsCorrectedAndTailCleared) {
  auto list = PackedList(10, 1);
  list->iNum = 12;
  list->slots[11].IndexOnDevice = 5;  // stale field of an empty slot
  list->slots[499].Location = 4;
  ZVPlistCheckWithInMenu_Dict(list.get());
  EXPECT_EQ(list->iNum, 10);
  for (int i = 10; i < ZV_PROFILE_SLOTS; ++i) EXPECT_TRUE(SlotIsZero(list->slots[i])) << "slot " << i;
  EXPECT_EQ(list->slots[9].InMenu, PackedList(10, 1)->slots[9].InMenu);
}

TEST(ProfileListNormalisationTest, GapMakesTheLastUsedSlotLost) {
  auto list = PackedList(11, 1);
  list->slots[5] = ProfileRecord{};
  ZVPlistCheckWithInMenu_Dict(list.get());
  EXPECT_EQ(list->iNum, 10);
  EXPECT_TRUE(SlotIsZero(list->slots[5]));
  EXPECT_TRUE(SlotIsZero(list->slots[10]));
  EXPECT_NE(list->slots[9].InMenu, 0);
}

TEST(ProfileListNormalisationTest, GapWithMatchingCountStays) {
  auto list = PackedList(11, 1);
  list->slots[5] = ProfileRecord{};
  list->iNum = 10;
  ZVPlistCheckWithInMenu_Dict(list.get());
  EXPECT_EQ(list->iNum, 10);
  EXPECT_NE(list->slots[10].InMenu, 0);
}

TEST(ProfileListNormalisationTest, FullListWithZeroCountKeepsEverySlot) {
  auto list = PackedList(500, -250);
  list->iNum = 0;
  ZVPlistCheckWithInMenu_Dict(list.get());
  EXPECT_EQ(list->iNum, 500);
  EXPECT_NE(list->slots[499].InMenu, 0);
}

TEST(ProfileListNormalisationTest, NegativeCountIsReplacedByTheUsedCount) {
  auto list = PackedList(3, 1);
  list->iNum = -7;
  ZVPlistCheckWithInMenu_Dict(list.get());
  EXPECT_EQ(list->iNum, 3);
}

TEST(ProfileListNormalisationTest, EmptySlotWithFieldsCountsAsEmpty) {
  auto list = NewList();
  FillSlot(list.get(), 0, 4, 0);  // fields set, InMenu 0
  list->iNum = 1;
  ZVPlistCheckWithInMenu_Dict(list.get());
  EXPECT_EQ(list->iNum, 0);
  EXPECT_TRUE(SlotIsZero(list->slots[0]));
}

TEST(ProfileListNormalisationTest, AllZeroListIsValid) {
  auto list = NewList();
  ZVPlistCheckWithInMenu_Dict(list.get());
  EXPECT_EQ(list->iNum, 0);
  EXPECT_TRUE(SlotIsZero(list->slots[0]));
}

}  // namespace
