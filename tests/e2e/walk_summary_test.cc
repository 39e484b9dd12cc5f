// SPDX-License-Identifier: MIT
// The summary `zvxpc walk` prints after its reply line: profiles that
// entered and left each class's menu and how many are in it, and the test
// for a walk that brought no row of the profile table.
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
  // RGB: one stays, one leaves, two enter (listed in name order).
  Add(before.get(), ZV_CLASS_RGB, "STAY.ICC", ZV_INMENU_REPORTED);
  Add(before.get(), ZV_CLASS_RGB, "GONE.ICC", ZV_INMENU_LISTED);
  Add(after.get(), ZV_CLASS_RGB, "STAY.ICC", ZV_INMENU_LISTED);
  Add(after.get(), ZV_CLASS_RGB, "NEW_B.ICC", ZV_INMENU_REPORTED);
  Add(after.get(), ZV_CLASS_RGB, "NEW_A.ICC", ZV_INMENU_REPORTED);
  // SIM: the same name at two source types counts twice in the menu.
  Add(before.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_KEPT);
  Add(before.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_CLIENT);
  Add(after.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_KEPT_MISSING);
  Add(after.get(), ZV_CLASS_SIM, "TWICE.ICC", ZV_INMENU_CLIENT);
  // DST: everything left.
  Add(before.get(), ZV_CLASS_DST, "LAST.ICC", ZV_INMENU_REPORTED);
  EXPECT_EQ(zvxpc::SummaryLines(*before, *after),
            (std::vector<std::string>{"RGB: 3 in the menu (entered: NEW_A.ICC, NEW_B.ICC; left: GONE.ICC)",
                                      "SIM: 2 in the menu", "DST: 0 in the menu (left: LAST.ICC)"}));
}

TEST(WalkSummaryTest, OnlyStatesOfTheLastWalkCountAsReported) {
  struct Case {
    int in_menu;
    bool none_reported;
  };
  const Case cases[] = {
      {ZV_INMENU_LISTED, true},    {ZV_INMENU_REPORTED, false}, {ZV_INMENU_KEPT, true},
      {ZV_INMENU_KEPT_REPORTED, false}, {ZV_INMENU_CLIENT, true}, {ZV_INMENU_KEPT_MISSING, true},
  };
  EXPECT_TRUE(zvxpc::NoEntryReported(*zvxpc::EmptySnapshot()));
  for (const Case& c : cases) {
    auto after = zvxpc::EmptySnapshot();
    Add(after.get(), ZV_CLASS_DST, "ONE.ICC", c.in_menu);
    EXPECT_EQ(zvxpc::NoEntryReported(*after), c.none_reported) << c.in_menu;
  }
}

}  // namespace
