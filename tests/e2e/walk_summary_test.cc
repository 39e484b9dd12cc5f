// SPDX-License-Identifier: MIT
// The summary `zvxpc walk` prints after its reply line: profiles that
// entered and left each class's menu and how many are in it, which states
// the menu shows, and the test for a walk that brought no row of the
// profile table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fixed_field.h"
#include "zvxpc/walk_summary.h"

namespace {

using zvxpc::ListSnapshot;

// Puts `file_name` with menu state `in_menu` into the next free slot of
// class `selector`.
void Add(ListSnapshot* snapshot, int selector, const char* file_name, int in_menu) {
  ProfileList& list = snapshot->classes[selector];
  ProfileRecord& slot = list.slots[list.iNum++];
  zv::CopyToField(slot.FileName, file_name);
  slot.InMenu = in_menu;
}

TEST(WalkSummaryTest, EachClassNamesWhatEnteredAndLeft) {
  auto before = zvxpc::EmptySnapshot(), after = zvxpc::EmptySnapshot();
  // RGB: one reported again stays, one not reported leaves (still listed),
  // two enter (listed in name order); one out of the menu is emptied.
  Add(before.get(), ZV_CLASS_RGB, "STAY.ICC", ZV_INMENU_REPORTED);
  Add(before.get(), ZV_CLASS_RGB, "AGED.ICC", ZV_INMENU_REPORTED);
  Add(before.get(), ZV_CLASS_RGB, "HIDDEN.ICC", ZV_INMENU_LISTED);
  Add(after.get(), ZV_CLASS_RGB, "STAY.ICC", ZV_INMENU_REPORTED);
  Add(after.get(), ZV_CLASS_RGB, "AGED.ICC", ZV_INMENU_LISTED);
  Add(after.get(), ZV_CLASS_RGB, "NEW_B.ICC", ZV_INMENU_REPORTED);
  Add(after.get(), ZV_CLASS_RGB, "NEW_A.ICC", ZV_INMENU_REPORTED);
  // SIM: the same name at two source types counts twice in the menu.
  Add(before.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_KEPT);
  Add(before.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_CLIENT);
  Add(after.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_KEPT_REPORTED);
  Add(after.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_CLIENT);
  // DST: everything left.
  Add(before.get(), ZV_CLASS_DST, "LAST.ICC", ZV_INMENU_REPORTED);
  EXPECT_EQ(zvxpc::SummaryLines(*before, *after),
            (std::vector<std::string>{"RGB: 3 in the menu (entered: NEW_A.ICC, NEW_B.ICC; left: AGED.ICC)",
                                      "SIM: 2 in the menu", "DST: 0 in the menu (left: LAST.ICC)"}));
}

// Each menu state: whether the menu shows the entry, and whether it counts
// as reported by the last walk (for the warning after a walk that found
// no row).
TEST(WalkSummaryTest, WhichStatesTheMenuShowsAndWhichTheLastWalkReported) {
  struct Case {
    int in_menu;
    bool shown;
    bool none_reported;
  };
  const Case cases[] = {
      {ZV_INMENU_EMPTY, false, true},          {ZV_INMENU_LISTED, false, true},
      {ZV_INMENU_REPORTED, true, false},       {ZV_INMENU_KEPT, false, true},
      {ZV_INMENU_KEPT_REPORTED, true, false},  {ZV_INMENU_CLIENT, true, true},
      {ZV_INMENU_KEPT_MISSING, false, true},
  };
  EXPECT_TRUE(zvxpc::NoEntryReported(*zvxpc::EmptySnapshot()));
  for (const Case& c : cases) {
    ProfileRecord entry{};
    entry.InMenu = c.in_menu;
    EXPECT_EQ(zvxpc::ShownInMenu(entry), c.shown) << c.in_menu;
    auto after = zvxpc::EmptySnapshot();
    Add(after.get(), ZV_CLASS_DST, "ONE.ICC", c.in_menu);
    EXPECT_EQ(zvxpc::NoEntryReported(*after), c.none_reported) << c.in_menu;
  }
}

}  // namespace
