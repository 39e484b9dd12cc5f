// SPDX-License-Identifier: MIT
// The spool-to-current merge on lists in memory: the state table, the
// passes, the worked examples, and the whole merge on a plist file.
#include "list_update/merge.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "list_update/list_update.h"
#include "platform/fixed_field.h"
#include "report/debug_sink.h"
#include "store/unreadable_list.h"
#include "support/temp_dir.h"
#include "walk/walk_fixture.h"

namespace {

using zvtest::Profile;
using zvtest::Put;
using zvtest::SlotsNamed;

class MergeTest : public ::testing::Test {
 protected:
  // Appends a spool row as a walk reports it (rows counted in iNum).
  void SpoolRow(const std::string& file_name, int location, int profile_class, int index = 1) {
    ProfileRecord row = Profile(file_name, location, 0, index, profile_class);
    spool_.slots[spool_.iNum++] = row;
  }

  // The service's update of the current plist with the spool.
  void Update(int walk_result) { (void)zv::UpdateProfileListFile(ZV_PLIST_PROFILE_PATH, walk_result, spool_); }

  ProfileList spool_{};
  zv::ProfileLists lists_{};
};

// ---- State table ---------------------------------------------------------

TEST_F(MergeTest, AgeingFollowsTheStateTable) {
  struct Case { int before, after_ok, after_failed; };
  const Case cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {3, 3, 3}, {4, 3, 6}, {5, 5, 5}, {6, 6, 6}, {7, 7, 7}, {-3, -3, -3}};
  for (const Case& c : cases) {
    for (int walk_result : {0, 1, 2}) {
      ProfileList list{};
      Put(list, 10, Profile("A.ICC", 4, c.before, 3, 2));
      list.iNum = 1;
      vDeleteMIBprofilesTemporary(walk_result, list);
      EXPECT_EQ(list.slots[10].InMenu, walk_result == 0 ? c.after_ok : c.after_failed)
          << "state " << c.before << ", walk result " << walk_result;
      EXPECT_EQ(zv::FieldText(list.slots[10].FileName), "A.ICC");
      EXPECT_EQ(list.slots[10].IndexOnDevice, 3);
      EXPECT_EQ(list.iNum, 1);
    }
  }
}

TEST_F(MergeTest, MatchingRowMovesStateAndKeepsStoredData) {
  struct Case { int before, after; };
  const Case cases[] = {{0, 0}, {1, 2}, {2, 2}, {3, 4}, {4, 4}, {5, 2}, {6, 4}, {9, 9}};
  for (const Case& c : cases) {
    spool_ = ProfileList{};
    SpoolRow("A.ICC", 4, 2, 77);
    ProfileList list{};
    Put(list, 0, Profile("A.ICC", 4, c.before, 3, 1));
    list.iNum = 1;
    zv::MergeRowInto(spool_.slots[0], list);
    EXPECT_EQ(list.slots[0].InMenu, c.after) << "state " << c.before;
    EXPECT_EQ(list.slots[0].IndexOnDevice, 3);
    EXPECT_EQ(list.slots[0].ProfileClass, 1);
    EXPECT_EQ(list.iNum, 1);
  }
}

TEST_F(MergeTest, UnmatchedRowTakesLowestEmptySlotWhole) {
  SpoolRow("NEW.ICC", 5, 2, 12);
  spool_.slots[0].ProfileAvailability = 3;
  ProfileList list{};
  Put(list, 0, Profile("A.ICC", 4, 1));
  Put(list, 2, Profile("B.ICC", 4, 1));
  list.iNum = 2;
  zv::MergeRowInto(spool_.slots[0], list);
  ASSERT_EQ(SlotsNamed(list, "NEW.ICC"), std::vector<int>{1});
  EXPECT_EQ(list.slots[1].InMenu, ZV_INMENU_REPORTED);
  EXPECT_EQ(list.slots[1].IndexOnDevice, 12);
  EXPECT_EQ(list.slots[1].Location, 5);
  EXPECT_EQ(list.slots[1].ProfileAvailability, 3);
  EXPECT_EQ(list.iNum, 3);
}

TEST_F(MergeTest, MatchNeedsNameAndLocationWithinTheFirstInumSlots) {
  SpoolRow("A.ICC", 5, 1);
  ProfileList list{};
  Put(list, 0, Profile("A.ICC", 4, 1));  // same name, other location
  Put(list, 1, Profile("a.icc", 5, 1));  // case differs
  list.iNum = 2;
  zv::MergeRowInto(spool_.slots[0], list);
  EXPECT_EQ(list.iNum, 3);
  EXPECT_EQ(SlotsNamed(list, "A.ICC").size(), 2u);
  EXPECT_EQ(list.slots[0].InMenu, 1);
  EXPECT_EQ(list.slots[1].InMenu, 1);
}

TEST_F(MergeTest, FullListDropsNewRowsButStillMovesKnownOnes) {
  ProfileList list{};
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    Put(list, slot, Profile("P" + std::to_string(slot) + ".ICC", 4, 1));
  }
  list.iNum = ZV_PROFILE_SLOTS;
  SpoolRow("NEW.ICC", 4, 1);
  SpoolRow("P499.ICC", 4, 1);
  zv::MergeRowInto(spool_.slots[0], list);
  zv::MergeRowInto(spool_.slots[1], list);
  EXPECT_TRUE(SlotsNamed(list, "NEW.ICC").empty());
  EXPECT_EQ(list.slots[499].InMenu, ZV_INMENU_REPORTED);
  EXPECT_EQ(list.iNum, ZV_PROFILE_SLOTS);
}

// ---- The passes ------------------------------------------------------------

TEST_F(MergeTest, CleaningKeepsOnlyKeptEntriesWithoutDeviceIndex) {
  ProfileList list{};
  for (int state = 0; state <= 6; ++state) Put(list, state, Profile("S" + std::to_string(state) + ".ICC", 4, state, 0));
  Put(list, 7, Profile("", 4, 1, 0));         // no file name: left alone
  Put(list, 8, Profile("IDX.ICC", 4, 1, 5));  // has an index: left alone
  list.iNum = 9;
  ZVPListCleanProfile_Dict(&list);
  for (int state : {0, 1, 2, 5, 6}) {
    EXPECT_TRUE(SlotsNamed(list, "S" + std::to_string(state) + ".ICC").empty()) << state;
  }
  for (int slot : {3, 4}) {
    EXPECT_EQ(list.slots[slot].IndexOnDevice, ZV_INDEX_KEPT_WITHOUT_DEVICE);
    EXPECT_EQ(list.slots[slot].InMenu, ZV_INMENU_KEPT);
  }
  EXPECT_EQ(list.slots[7].InMenu, 1);
  EXPECT_EQ(list.slots[8].InMenu, 1);
  EXPECT_EQ(list.iNum, 4);
}

TEST_F(MergeTest, CompactionMovesUsedSlotsDownInOrderAndLeavesTheTail) {
  ProfileList list{};
  Put(list, 1, Profile("A.ICC", 4, 1));
  Put(list, 2, Profile("AGED.ICC", 4, 0));  // emptied by ageing: fields stay
  Put(list, 3, Profile("B.ICC", 4, 6));
  Put(list, 7, Profile("TAIL.ICC", 4, 0));
  list.iNum = 17;
  ZVPListPaddingProfile_Dict(&list);
  EXPECT_EQ(zv::FieldText(list.slots[0].FileName), "A.ICC");
  EXPECT_EQ(zv::FieldText(list.slots[1].FileName), "B.ICC");
  EXPECT_EQ(list.slots[1].InMenu, 6);
  EXPECT_EQ(list.slots[3].InMenu, 0);
  EXPECT_EQ(list.slots[3].FileName[0], '\0');  // moved away: cleared
  EXPECT_EQ(zv::FieldText(list.slots[7].FileName), "TAIL.ICC");
  EXPECT_EQ(list.iNum, 17);
}

TEST_F(MergeTest, SalvageMarksKeptEntriesWithIndexAndName) {
  ProfileList list{};
  Put(list, 0, Profile("A.ICC", 4, 3, 2));
  Put(list, 1, Profile("B.ICC", 4, 3, 0));
  Put(list, 2, Profile("", 4, 3, 2));
  Put(list, 3, Profile("C.ICC", 4, 4, 2));
  ZVPListSalvage_Dict(&list);
  EXPECT_EQ(list.slots[0].InMenu, 6);
  EXPECT_EQ(list.slots[1].InMenu, 3);
  EXPECT_EQ(list.slots[2].InMenu, 3);
  EXPECT_EQ(list.slots[3].InMenu, 4);
}

// ---- The merge in memory -----------------------------------------------------

TEST_F(MergeTest, WorkedExampleSuccessfulWalk) {
  Put(lists_.rgb, 0, Profile("W.ICC", 4, 3));
  Put(lists_.rgb, 1, Profile("X.ICC", 4, 1));
  Put(lists_.rgb, 2, Profile("Y.ICC", 4, 4));
  lists_.rgb.iNum = 3;
  SpoolRow("W.ICC", 4, 1);
  SpoolRow("Z.ICC", 4, 2);
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  const char* names[] = {"W.ICC", "X.ICC", "Y.ICC", "Z.ICC"};
  const int states[] = {4, 1, 6, 2};
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(zv::FieldText(lists_.rgb.slots[slot].FileName), names[slot]);
    EXPECT_EQ(lists_.rgb.slots[slot].InMenu, states[slot]) << names[slot];
  }
  EXPECT_EQ(lists_.rgb.iNum, 4);
  EXPECT_EQ(zvtest::UsedSlots(lists_.sim) + zvtest::UsedSlots(lists_.dst), 0);
}

TEST_F(MergeTest, WorkedExampleFailedWalk) {
  Put(lists_.rgb, 0, Profile("W.ICC", 4, 3));
  Put(lists_.rgb, 1, Profile("X.ICC", 4, 1));
  Put(lists_.rgb, 2, Profile("Y.ICC", 4, 4));
  lists_.rgb.iNum = 3;
  zv::MergeSpoolIntoLists(1, spool_, lists_);
  EXPECT_EQ(zv::FieldText(lists_.rgb.slots[0].FileName), "W.ICC");
  EXPECT_EQ(lists_.rgb.slots[0].InMenu, 6);
  EXPECT_EQ(zv::FieldText(lists_.rgb.slots[1].FileName), "Y.ICC");
  EXPECT_EQ(lists_.rgb.slots[1].InMenu, 6);
  EXPECT_EQ(zvtest::UsedSlots(lists_.rgb), 2);
  EXPECT_EQ(lists_.rgb.iNum, 3);
}

TEST_F(MergeTest, EmptyListsTakeAcceptedRowsByClass) {
  SpoolRow("RGB1.ICC", 4, 1);
  SpoolRow("RGB2.ICC", 5, 2);
  SpoolRow("SIM3.ICC", 4, 3);
  SpoolRow("LOC7.ICC", 7, 1);        // source type not merged
  SpoolRow("CLS4.ICC", 4, 4);        // class placed nowhere
  SpoolRow("bad name.icc", 4, 1);    // rejected name
  SpoolRow("NOIDX.ICC", 4, 1, 0);    // inserted, then cleaned away
  SpoolRow("RGB1.ICC", 4, 1);        // the same profile again
  spool_.slots[spool_.iNum + 1] = Profile("PAST.ICC", 4, 0, 1, 1);  // beyond iNum
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  EXPECT_EQ(SlotsNamed(lists_.rgb, "RGB1.ICC"), std::vector<int>{0});
  EXPECT_EQ(SlotsNamed(lists_.rgb, "RGB2.ICC"), std::vector<int>{1});
  EXPECT_EQ(zvtest::UsedSlots(lists_.rgb), 2);
  EXPECT_EQ(SlotsNamed(lists_.sim, "SIM3.ICC"), std::vector<int>{0});
  EXPECT_EQ(SlotsNamed(lists_.dst, "SIM3.ICC"), std::vector<int>{0});
  EXPECT_EQ(lists_.sim.slots[0].InMenu, ZV_INMENU_REPORTED);
  EXPECT_EQ(zvtest::UsedSlots(lists_.sim) + zvtest::UsedSlots(lists_.dst), 2);
}

TEST_F(MergeTest, StoredEntryWithRejectedNameIsClearedWhateverItsState) {
  Put(lists_.dst, 0, Profile("with space.icc", 4, 4, 3, 3));
  Put(lists_.dst, 1, Profile("OK.ICC", 4, 6, 3, 3));
  lists_.dst.iNum = 2;
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  EXPECT_TRUE(SlotsNamed(lists_.dst, "with space.icc").empty());
  EXPECT_EQ(SlotsNamed(lists_.dst, "OK.ICC"), std::vector<int>{0});
  EXPECT_EQ(lists_.dst.iNum, 1);
}

// A hole left by the name check below a stored SIM entry: the row search
// covers only the first iNum slots, so without compacting the SIM and DST
// lists first the entry above the hole was missed and inserted again.
TEST_F(MergeTest, RejectedNameBelowAnEntryDoesNotDuplicateIt) {
  for (ProfileList* list : {&lists_.sim, &lists_.dst}) {
    Put(*list, 0, Profile("bad+name.icc", 4, 4, 2, 3));
    Put(*list, 1, Profile("GOOD.ICC", 4, 4, 3, 3));
    list->iNum = 2;
  }
  SpoolRow("GOOD.ICC", 4, 3, 3);
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  for (const ProfileList* list : {&lists_.sim, &lists_.dst}) {
    ASSERT_EQ(SlotsNamed(*list, "GOOD.ICC"), std::vector<int>{0});
    EXPECT_EQ(list->slots[0].InMenu, ZV_INMENU_KEPT_REPORTED);
    EXPECT_EQ(list->iNum, 1);
  }
}

// A slot that was already empty when the list was loaded but still holds a
// rejected name (as a plist written elsewhere may carry) was never counted:
// clearing it must not shrink the row search, or the entry in use below it
// is missed and inserted again.
TEST_F(MergeTest, RejectedNameInAnEmptySlotDoesNotDuplicateAnEntry) {
  Put(lists_.rgb, 0, Profile("A.ICC", 4, 1, 3, 1));
  Put(lists_.rgb, 1, Profile("old name.icc", 4, 0, 5, 1));  // empty slot, leftover name
  lists_.rgb.iNum = 1;
  SpoolRow("A.ICC", 4, 1, 3);
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  ASSERT_EQ(SlotsNamed(lists_.rgb, "A.ICC"), std::vector<int>{0});
  EXPECT_EQ(lists_.rgb.slots[0].InMenu, ZV_INMENU_REPORTED);
  EXPECT_TRUE(SlotsNamed(lists_.rgb, "old name.icc").empty());
  EXPECT_EQ(zvtest::UsedSlots(lists_.rgb), 1);
  EXPECT_EQ(lists_.rgb.iNum, 1);
}

// After a failed walk ageing empties a loaded entry before the name check
// sees it; that entry was counted when the list was loaded, so clearing its
// rejected name still lowers the count.
TEST_F(MergeTest, RejectedNameOfAnEntryAgedAwayStillLowersTheCount) {
  Put(lists_.rgb, 0, Profile("bad name.icc", 4, ZV_INMENU_LISTED, 2, 1));
  Put(lists_.rgb, 1, Profile("KEPT.ICC", 4, ZV_INMENU_KEPT_REPORTED, 3, 1));
  lists_.rgb.iNum = 2;
  zv::MergeSpoolIntoLists(1, spool_, lists_);
  ASSERT_EQ(SlotsNamed(lists_.rgb, "KEPT.ICC"), std::vector<int>{0});
  EXPECT_EQ(lists_.rgb.slots[0].InMenu, ZV_INMENU_KEPT_MISSING);
  EXPECT_TRUE(SlotsNamed(lists_.rgb, "bad name.icc").empty());
  EXPECT_EQ(lists_.rgb.iNum, 1);
}

// Counts handed in by a caller may be anything: the passes never carry
// them round the end of the integer range.
TEST_F(MergeTest, ExtremeCountsNeitherOverflowNorGoBelowZero) {
  Put(lists_.rgb, 0, Profile("bad name.icc", 4, ZV_INMENU_LISTED, 2, 1));
  lists_.rgb.iNum = INT32_MIN;
  lists_.sim.iNum = INT32_MAX;
  SpoolRow("NEW.ICC", 4, 3);
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  EXPECT_EQ(lists_.rgb.iNum, INT32_MIN);
  EXPECT_EQ(lists_.sim.iNum, INT32_MAX);
  EXPECT_EQ(SlotsNamed(lists_.sim, "NEW.ICC"), std::vector<int>{0});
  ProfileList cleaned{};
  Put(cleaned, 0, Profile("GONE.ICC", 4, ZV_INMENU_LISTED));
  cleaned.iNum = INT32_MIN;
  ZVPListCleanProfile_Dict(&cleaned);
  EXPECT_EQ(cleaned.iNum, INT32_MIN);
}

TEST_F(MergeTest, ClassChangeLeavesTheOldListEntryUnreported) {
  Put(lists_.rgb, 0, Profile("MOVED.ICC", 4, 2, 3, 1));
  lists_.rgb.iNum = 1;
  SpoolRow("MOVED.ICC", 4, 3, 3);
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  EXPECT_EQ(lists_.rgb.slots[0].InMenu, ZV_INMENU_LISTED);
  EXPECT_EQ(SlotsNamed(lists_.sim, "MOVED.ICC"), std::vector<int>{0});
  EXPECT_EQ(SlotsNamed(lists_.dst, "MOVED.ICC"), std::vector<int>{0});
}

TEST_F(MergeTest, KeptEntryWithoutDeviceIndexEndsAsSalvaged) {
  Put(lists_.sim, 0, Profile("KEEP.ICC", 4, 4, 0, 3));
  Put(lists_.sim, 1, Profile("DROP.ICC", 4, 6, 0, 3));
  lists_.sim.iNum = 2;
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  ASSERT_EQ(SlotsNamed(lists_.sim, "KEEP.ICC"), std::vector<int>{0});
  EXPECT_EQ(lists_.sim.slots[0].IndexOnDevice, ZV_INDEX_KEPT_WITHOUT_DEVICE);
  EXPECT_EQ(lists_.sim.slots[0].InMenu, ZV_INMENU_KEPT_MISSING);
  EXPECT_TRUE(SlotsNamed(lists_.sim, "DROP.ICC").empty());
}

TEST_F(MergeTest, SpoolIsLeftAsItWas) {
  SpoolRow("A.ICC", 4, 1);
  SpoolRow("B.ICC", 4, 3);
  ProfileList before = spool_;
  zv::MergeSpoolIntoLists(0, spool_, lists_);
  EXPECT_EQ(std::memcmp(&before, &spool_, sizeof before), 0);
}

// ---- The whole merge on a plist file ---------------------------------------------

TEST_F(MergeTest, MergeReadsAgesAndWritesTheCurrentPlist) {
  zvtest::TempDir dir;
  zvtest::CurrentPlist plist(dir.File("u-m-profile.plist"));
  Put(lists_.rgb, 0, Profile("OLD.ICC", 4, 2));
  Put(lists_.sim, 0, Profile("SIM.ICC", 4, 4, 2, 3));
  lists_.rgb.iNum = 1;
  lists_.sim.iNum = 1;
  ASSERT_TRUE(plist.Write(lists_));
  SpoolRow("NEW.ICC", 4, 2);
  Update(0);

  zv::ProfileLists stored{};
  ASSERT_TRUE(plist.Read(stored));
  EXPECT_EQ(SlotsNamed(stored.rgb, "OLD.ICC"), std::vector<int>{0});
  EXPECT_EQ(stored.rgb.slots[0].InMenu, ZV_INMENU_LISTED);
  EXPECT_EQ(SlotsNamed(stored.rgb, "NEW.ICC"), std::vector<int>{1});
  EXPECT_EQ(stored.rgb.slots[1].InMenu, ZV_INMENU_REPORTED);
  EXPECT_EQ(stored.sim.slots[0].InMenu, ZV_INMENU_KEPT_MISSING);
  EXPECT_EQ(stored.rgb.iNum, 2);
}

TEST_F(MergeTest, MissingPlistIsWrittenFromTheSpoolAlone) {
  zvtest::TempDir dir;
  zvtest::CurrentPlist plist(dir.File("u-m-profile.plist"));
  SpoolRow("A.ICC", 4, 1);
  SpoolRow("B.ICC", 5, 3);
  Update(1);
  zv::ProfileLists stored{};
  ASSERT_TRUE(plist.Read(stored));
  EXPECT_EQ(SlotsNamed(stored.rgb, "A.ICC"), std::vector<int>{0});
  EXPECT_EQ(SlotsNamed(stored.sim, "B.ICC"), std::vector<int>{0});
  EXPECT_EQ(SlotsNamed(stored.dst, "B.ICC"), std::vector<int>{0});
  EXPECT_FALSE(zvtest::Exists(dir.File("u-m-profile.plist.unreadable")));
}

std::vector<std::string>& WalkLogLines() {
  static std::vector<std::string> lines;
  return lines;
}

void RecordWalkLogLine(std::string_view line) { WalkLogLines().emplace_back(line); }

// A list that exists but cannot be read still holds the user's profiles:
// its bytes are kept aside whole, the merge goes on as for a missing list,
// and one log line says so.
TEST_F(MergeTest, UnreadableListIsKeptAsideWholeBeforeTheMergeWritesANewOne) {
  zvtest::TempDir dir;
  zvtest::CurrentPlist plist(dir.File("u-m-profile.plist"));
  Put(lists_.rgb, 0, Profile("KEPT.ICC", 4, 5));
  lists_.rgb.iNum = 1;
  ASSERT_TRUE(plist.Write(lists_));
  const std::string valid = zvtest::ReadFile(dir.File("u-m-profile.plist"));
  const std::size_t dst = valid.find("<key>DST</key>");
  ASSERT_NE(dst, std::string::npos);
  const std::string torn = "<plist><dict><key>RGB</key>";
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"without its DST dictionary", valid.substr(0, dst) + "</dict>\n</plist>\n"},
      {"nested too deep", "<plist><dict><key>X</key>" + [] {
         std::string arrays;
         for (int i = 0; i < 40; ++i) arrays += "<array>";
         for (int i = 0; i < 40; ++i) arrays += "</array>";
         return arrays;
       }() + "</dict></plist>"},
      {"Latin-1 text", "<plist><dict><key>RGB</key><string>caf\xe9</string></dict></plist>"},
  };
  zv::SetWalkLogSink(RecordWalkLogLine);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WalkLogLines().clear();
    zvtest::WriteFile(dir.File("u-m-profile.plist"), c.bytes);
    spool_ = ProfileList{};
    SpoolRow("NEW.ICC", 4, 2);
    Update(1);
    zv::ProfileLists stored{};
    ASSERT_TRUE(plist.Read(stored));
    EXPECT_EQ(SlotsNamed(stored.rgb, "NEW.ICC"), std::vector<int>{0});
    const std::string aside = dir.File(&c == cases ? "u-m-profile.plist.unreadable" : "u-m-profile.plist.unreadable." +
                                                         std::to_string(&c - cases));
    EXPECT_EQ(zvtest::ReadFile(aside), c.bytes);
    ASSERT_EQ(WalkLogLines().size(), 1u);
    EXPECT_NE(WalkLogLines()[0].find("kept aside as " + aside), std::string::npos) << WalkLogLines()[0];
  }
  // Every name taken: the unreadable list stays where it is, unwritten.
  for (int n = 3; n < zv::kUnreadableListNames; ++n) {
    zvtest::WriteFile(dir.File("u-m-profile.plist.unreadable." + std::to_string(n)), "x");
  }
  zvtest::WriteFile(dir.File("u-m-profile.plist"), torn);
  Update(1);
  EXPECT_EQ(zvtest::ReadFile(dir.File("u-m-profile.plist")), torn);
  EXPECT_NE(WalkLogLines().back().find("left as it was"), std::string::npos);
  zv::SetWalkLogSink(nullptr);
}

}  // namespace
