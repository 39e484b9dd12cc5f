// SPDX-License-Identifier: MIT
// The one-class readers and writer, the filtering reader, the mapping rule
// and the mapping writer, and the dictionary accessors of the profile
// property list.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/fixed_field.h"
#include "plist_file_builder.h"
#include "store/zvplist.h"
#include "store_fixture.h"
#include "support/other_user.h"

namespace {

using zvtest::NewList;
using zvtest::PackedList;

constexpr int32_t kBadSelectors[] = {-1, 3, 4, INT32_MIN, INT32_MAX};

// A record to look for in a list: file name and source type.
ProfileRecord Profile(const char* file_name, int32_t location, int32_t in_menu) {
  ProfileRecord record{};
  zv::CopyToField(record.FileName, file_name);
  record.Location = location;
  record.InMenu = in_menu;
  return record;
}

// The file names of the used slots of `list`, in slot order.
std::string Names(const ProfileList& list) {
  std::string names;
  for (int i = 0; i < list.iNum; ++i) names += std::string(zv::FieldText(list.slots[i].FileName)) + " ";
  return names;
}

bool Same(const ProfileList& a, const ProfileList& b) {
  std::string where;
  return zvtest::SameList(a, b, &where);
}

class ProfilePlistVariantsTest : public ::testing::Test {
 protected:
  // Writes `root` as the current file and frees it.
  void WriteBuilt(plist_t root) {
    zvtest::WritePlistFile(paths_.current(), root);
    plist_free(root);
  }
  // A file with only the classes named, each of `slots` built slots.
  void WriteClasses(std::initializer_list<const char*> classes, int slots) {
    plist_t root = plist_new_dict();
    for (const char* key : classes) plist_dict_set_item(root, key, zvtest::BuildClassDictionary(slots));
    WriteBuilt(root);
  }
  // Sets the numbered InMenu entries of slots 0.. of `cls` to `states`.
  static void SetStates(plist_t root, const char* cls, std::initializer_list<int> states) {
    int slot = 0;
    for (const int state : states) {
      char key[24];
      std::snprintf(key, sizeof key, "InMenu%04d", slot++);
      plist_dict_set_item(zvtest::FieldDictionary(root, cls, "InMenu"), key, plist_new_uint(state));
    }
  }
  zvtest::StorePathsScope paths_;
};

// ---- One-class reader --------------------------------------------------------

TEST_F(ProfilePlistVariantsTest, OneClassReaderReadsWhatTheWholeFileWriterWrote) {
  auto rgb = PackedList(500, -250), sim = PackedList(7, 3), dst = PackedList(1, 9);
  ASSERT_EQ(ZVPListWriteProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  const ProfileList* written[] = {rgb.get(), sim.get(), dst.get()};
  for (int32_t selector = 0; selector < 3; ++selector) {
    auto back = NewList();
    ASSERT_EQ(ZVPListReadProfile_Dict(back.get(), selector), 0);
    std::string where;
    EXPECT_TRUE(zvtest::SameList(*back, *written[selector], &where)) << selector << ": " << where;
  }
}

// A class missing, not a dictionary or without a field fails its readers
// and the whole-file reader alike; the other classes of the file still read.
TEST_F(ProfilePlistVariantsTest, ReadersReadTheirClassAloneAndFailWithTheListsUntouched) {
  plist_t root = zvtest::BuildProfilePlist(3);
  plist_dict_remove_item(root, "RGB");
  plist_dict_remove_item(plist_dict_get_item(root, "DST"), "ProfileName");
  WriteBuilt(root);
  auto sim = NewList();
  ASSERT_EQ(ZVPListReadProfile_Dict(sim.get(), ZV_CLASS_SIM), 0);  // the broken classes do not matter
  EXPECT_EQ(sim->iNum, 3);
  EXPECT_EQ(sim->slots[2].IndexOnDevice, 102);
  EXPECT_EQ(zv::FieldText(sim->slots[2].ProfileName), "Name 2");
  const auto pattern = PackedList(3, 77);
  auto list = PackedList(3, 77), other = PackedList(3, 77), third = PackedList(3, 77);
  EXPECT_EQ(ZVPListReadProfile_All(list.get(), other.get(), third.get()), -1);
  for (int32_t selector : {ZV_CLASS_RGB, ZV_CLASS_DST}) {
    EXPECT_EQ(ZVPListReadProfile_Dict(list.get(), selector), -1) << selector;
    EXPECT_EQ(ZVPListReadProfile_Dict_Pap(list.get(), selector), -1) << selector;
  }
  for (int32_t selector : kBadSelectors) {
    EXPECT_EQ(ZVPListReadProfile_Dict(list.get(), selector), -1) << selector;
    EXPECT_EQ(ZVPListReadProfile_Dict_Pap(list.get(), selector), -1) << selector;
  }
  root = zvtest::BuildProfilePlist(2);
  plist_dict_set_item(root, "SIM", plist_new_string("not a class"));
  WriteBuilt(root);
  EXPECT_EQ(ZVPListReadProfile_Dict(list.get(), ZV_CLASS_SIM), -1);
  EXPECT_EQ(ZVPListReadProfile_Dict_Pap(list.get(), ZV_CLASS_SIM), -1);
  zvtest::WriteFile(paths_.current(), "<plist><dict>");
  EXPECT_EQ(ZVPListReadProfile_Dict(list.get(), ZV_CLASS_RGB), -1);
  std::remove(paths_.current().c_str());
  EXPECT_EQ(ZVPListReadProfile_Dict_Pap(list.get(), ZV_CLASS_RGB), -1);
  EXPECT_EQ(ZVPListReadProfile_Dict(nullptr, ZV_CLASS_RGB), -1);
  EXPECT_TRUE(Same(*list, *pattern) && Same(*other, *pattern) && Same(*third, *pattern));
}

// ---- Filtering reader --------------------------------------------------------

// The filtering reader drops the reported records (state 2), recodes kept
// reported ones (4 to 6), and packs the rest in file order.
TEST_F(ProfilePlistVariantsTest, FilteringReaderDropsRecodesAndKeepsOrder) {
  plist_t root = zvtest::BuildProfilePlist(8);
  SetStates(root, "RGB", {2, 3, 5, 2, 6, 1, 4, 2});
  // A kept record without a file name must not show the dropped one's.
  plist_dict_remove_item(zvtest::FieldDictionary(root, "RGB", "FileName"), "FileName0001");
  WriteBuilt(root);
  auto rgb = NewList();
  ASSERT_EQ(ZVPListReadProfile_Dict_Pap(rgb.get(), ZV_CLASS_RGB), 0);
  EXPECT_EQ(Names(*rgb), " F2.icc F4.icc F5.icc F6.icc ");
  EXPECT_EQ(rgb->iNum, 5);
  const int32_t states[] = {3, 5, 6, 1, 6};
  const int32_t indexes[] = {101, 102, 104, 105, 106};  // the records of the source slots kept
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(rgb->slots[i].InMenu, states[i]) << i;
    EXPECT_EQ(rgb->slots[i].IndexOnDevice, indexes[i]) << i;
  }
  for (int i = 5; i < ZV_PROFILE_SLOTS; ++i) ASSERT_EQ(rgb->slots[i].InMenu, 0) << i;
  EXPECT_EQ(rgb->slots[5].IndexOnDevice, 0);  // nothing of the dropped records is left
  // The plain reader of the same class drops and recodes nothing.
  auto plain = NewList();
  ASSERT_EQ(ZVPListReadProfile_Dict(plain.get(), ZV_CLASS_RGB), 0);
  EXPECT_EQ(plain->iNum, 8);
  EXPECT_EQ(plain->slots[6].InMenu, 4);
}

TEST_F(ProfilePlistVariantsTest, FilteringReaderReadsASlotWithoutMenuState) {
  plist_t root = zvtest::BuildProfilePlist(2);
  plist_dict_remove_item(zvtest::FieldDictionary(root, "SIM", "InMenu"), "InMenu0000");
  WriteBuilt(root);
  auto sim = NewList();
  sim->slots[0].InMenu = 5;  // the caller's value stays
  ASSERT_EQ(ZVPListReadProfile_Dict_Pap(sim.get(), ZV_CLASS_SIM), 0);
  EXPECT_EQ(sim->iNum, 2);
  EXPECT_EQ(sim->slots[0].InMenu, 5);
  EXPECT_EQ(sim->slots[0].IndexOnDevice, 100);
  EXPECT_EQ(zv::FieldText(sim->slots[0].FileName), "F0.icc");
  EXPECT_EQ(sim->slots[1].ProfileClass, -2);
}

// ---- One-class writer --------------------------------------------------------

TEST_F(ProfilePlistVariantsTest, OneClassWriterOnMissingFileWritesEmptyOtherClasses) {
  auto list = PackedList(4, 20), rgb_out = PackedList(3, 1), sim_out = PackedList(3, 2), dst_out = NewList();
  ASSERT_EQ(ZVPListWriteProfile_Dict(list.get(), ZV_CLASS_DST, rgb_out.get(), sim_out.get(), dst_out.get()), 0);
  auto rgb = NewList(), sim = NewList(), dst = NewList();
  ASSERT_EQ(ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  const auto empty = NewList();
  EXPECT_TRUE(Same(*rgb, *empty) && Same(*sim, *empty));
  EXPECT_TRUE(Same(*dst, *list));
  EXPECT_TRUE(Same(*rgb_out, *empty) && Same(*sim_out, *empty));
  EXPECT_TRUE(Same(*dst_out, *list));
}

TEST_F(ProfilePlistVariantsTest, OneClassWriterKeepsTheOtherClassesAsRead) {
  plist_t root = zvtest::BuildProfilePlist(3);
  plist_dict_set_item(plist_dict_get_item(root, "SIM"), "iNum", plist_new_uint(9));  // mended on reading
  WriteBuilt(root);
  auto list = PackedList(2, 60), sim_out = NewList();
  ASSERT_EQ(ZVPListWriteProfile_Dict(list.get(), ZV_CLASS_RGB, nullptr, sim_out.get(), nullptr), 0);
  EXPECT_EQ(sim_out->iNum, 3);
  auto rgb = NewList(), sim = NewList(), dst = NewList();
  ASSERT_EQ(ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  EXPECT_TRUE(Same(*rgb, *list));
  EXPECT_TRUE(Same(*sim, *sim_out));
  EXPECT_EQ(zv::FieldText(dst->slots[2].FileName), "F2.icc");
}

TEST_F(ProfilePlistVariantsTest, OneClassWriterTakesItsListAlsoWhenItIsAnOutput) {
  WriteClasses({"RGB", "SIM", "DST"}, 2);
  auto list = PackedList(5, 300);
  const auto given = PackedList(5, 300);
  ASSERT_EQ(ZVPListWriteProfile_Dict(list.get(), ZV_CLASS_SIM, nullptr, list.get(), nullptr), 0);
  EXPECT_TRUE(Same(*list, *given));
  auto other = PackedList(4, 400);
  const auto other_given = PackedList(4, 400);
  ASSERT_EQ(ZVPListWriteProfile_Dict(other.get(), ZV_CLASS_RGB, nullptr, other.get(), nullptr), 0);
  EXPECT_TRUE(Same(*other, *given));  // now the file's SIM
  auto back = NewList();
  ASSERT_EQ(ZVPListReadProfile_Dict(back.get(), ZV_CLASS_RGB), 0);
  EXPECT_TRUE(Same(*back, *other_given));
}

TEST_F(ProfilePlistVariantsTest, RefusedOneClassWriteStillFillsTheOutputs) {
  WriteClasses({"RGB", "SIM", "DST"}, 3);
  const std::string before = zvtest::ReadFile(paths_.current());
  ASSERT_EQ(chmod(paths_.current().c_str(), 0444), 0);
  const int result = zvtest::RunAsOtherUser([] {
    auto list = PackedList(6, 1), rgb_out = NewList(), sim_out = NewList(), dst_out = NewList();
    if (ZVPListWriteProfile_Dict(list.get(), ZV_CLASS_SIM, rgb_out.get(), sim_out.get(), dst_out.get()) != -1) return 1;
    if (!Same(*sim_out, *list)) return 2;
    return rgb_out->iNum == 3 && dst_out->iNum == 3 && rgb_out->slots[2].IndexOnDevice == 102 ? 0 : 3;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(zvtest::ReadFile(paths_.current()), before);
}

TEST_F(ProfilePlistVariantsTest, OneClassWriterRefusesBadSelectorsWithoutTouchingAnything) {
  auto list = PackedList(2, 1), out = PackedList(2, 9);
  const auto pattern = PackedList(2, 9);
  for (int32_t selector : kBadSelectors) {
    EXPECT_EQ(ZVPListWriteProfile_Dict(list.get(), selector, out.get(), out.get(), out.get()), -1) << selector;
  }
  EXPECT_EQ(ZVPListWriteProfile_Dict(nullptr, ZV_CLASS_RGB, out.get(), nullptr, nullptr), -1);
  EXPECT_TRUE(Same(*out, *pattern));
  EXPECT_FALSE(zvtest::Exists(paths_.current()));
}

// ---- Mapping rule ------------------------------------------------------------

TEST_F(ProfilePlistVariantsTest, MappingTakesOnlyReportedFileRecordsInFileOrder) {
  auto file = PackedList(12, 1);  // states 1 to 6, twice
  file->slots[3].ProfileAvailability = 8;
  auto out = NewList(), empty = NewList();
  ZVPListMapping_Pap(empty.get(), file.get(), out.get(), empty.get());
  ASSERT_EQ(out->iNum, 4);
  const int from[] = {1, 3, 7, 9};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::memcmp(&out->slots[i], &file->slots[from[i]], sizeof(ProfileRecord)), 0) << i;
  }
  EXPECT_EQ(out->slots[4].InMenu, 0);
  // Records past the file list's count are not looked at.
  file->iNum = 2;
  auto short_out = NewList();
  ZVPListMapping_Pap(empty.get(), file.get(), short_out.get(), empty.get());
  EXPECT_EQ(short_out->iNum, 1);
}

TEST_F(ProfilePlistVariantsTest, MappingLeavesOutFileRecordsThatBaseOrExcludeHold) {
  auto file = NewList(), base = NewList(), exclude = NewList(), out = NewList();
  const ProfileRecord file_records[] = {Profile("a.icc", 4, 2), Profile("b.icc", 4, 4), Profile("c.icc", 5, 2),
                                        Profile("d.icc", 4, 2), Profile("a.icc", 5, 4)};
  for (const ProfileRecord& r : file_records) file->slots[file->iNum++] = r;
  base->slots[0] = Profile("x.icc", 4, 1);
  base->slots[1] = Profile("b.icc", 4, 3);
  zv::CopyToField(base->slots[1].ProfileName, "base's own");
  base->iNum = 2;
  exclude->slots[0] = Profile("c.icc", 5, 0);
  exclude->slots[1] = Profile("d.icc", 5, 0);  // other source type: no match
  exclude->iNum = 2;
  ZVPListMapping_Pap(base.get(), file.get(), out.get(), exclude.get());
  EXPECT_EQ(Names(*out), "a.icc d.icc a.icc x.icc b.icc ");
  EXPECT_EQ(out->slots[4].InMenu, 3);
  EXPECT_EQ(zv::FieldText(out->slots[4].ProfileName), "base's own");
  // The same mapping in place, over the base list, gives the same result.
  ZVPListMapping_Pap(base.get(), file.get(), base.get(), exclude.get());
  EXPECT_TRUE(Same(*base, *out));
}

TEST_F(ProfilePlistVariantsTest, MappingStopsAtFiveHundredRecords) {
  auto file = NewList(), base = PackedList(200, 10000), out = NewList(), empty = NewList();
  for (int i = 0; i < 400; ++i) zvtest::FillSlot(file.get(), i, i, 2);
  file->iNum = 400;
  ZVPListMapping_Pap(base.get(), file.get(), out.get(), empty.get());
  EXPECT_EQ(out->iNum, 500);
  EXPECT_EQ(std::memcmp(&out->slots[399], &file->slots[399], sizeof(ProfileRecord)), 0);
  EXPECT_EQ(std::memcmp(&out->slots[400], &base->slots[0], sizeof(ProfileRecord)), 0);
  EXPECT_EQ(std::memcmp(&out->slots[499], &base->slots[99], sizeof(ProfileRecord)), 0);
  // Counts outside the table are held within it: nothing past slot 499 is
  // read, and a negative count counts no slot.
  auto wide = PackedList(500, 1);
  wide->iNum = 9000;
  auto wide_file = NewList(), negative = PackedList(3, 1), wide_out = NewList();
  for (int i = 0; i < ZV_PROFILE_SLOTS; ++i) zvtest::FillSlot(wide_file.get(), i, -i, i == 0 ? 2 : 1);
  wide_file->iNum = 9000;
  negative->iNum = -4;
  ZVPListMapping_Pap(negative.get(), wide_file.get(), wide_out.get(), wide.get());
  EXPECT_EQ(wide_out->iNum, 1);
  ZVPListMapping_Pap(wide.get(), negative.get(), wide_out.get(), negative.get());
  EXPECT_EQ(wide_out->iNum, 500);
  EXPECT_EQ(wide_out->slots[499].IndexOnDevice, 500);
}

// Without one of its lists the mapping leaves the output as it was; with
// no output it writes nowhere.
TEST_F(ProfilePlistVariantsTest, MappingWithoutAListLeavesTheOutputAlone) {
  const auto base = PackedList(3, 1), file = PackedList(4, 20), exclude = NewList(), before = PackedList(5, 70);
  const struct {
    const char* missing;
    const ProfileList* base;
    const ProfileList* file;
    const ProfileList* exclude;
  } cases[] = {
      {"base", nullptr, file.get(), exclude.get()},
      {"file list", base.get(), nullptr, exclude.get()},
      {"exclude list", base.get(), file.get(), nullptr},
  };
  std::string where;
  auto mapped = PackedList(5, 70);
  ZVPListMapping_Pap(base.get(), file.get(), mapped.get(), exclude.get());
  ASSERT_FALSE(zvtest::SameList(*mapped, *before, &where)) << "the lists given map to the output's old content";
  for (const auto& c : cases) {
    auto out = PackedList(5, 70);
    ZVPListMapping_Pap(c.base, c.file, out.get(), c.exclude);
    EXPECT_TRUE(zvtest::SameList(*out, *before, &where)) << "without the " << c.missing << ": " << where;
  }
  ZVPListMapping_Pap(base.get(), file.get(), nullptr, exclude.get());
}

TEST_F(ProfilePlistVariantsTest, MappingAllClassesMapsEachAgainstItsOwnClass) {
  plist_t root = zvtest::BuildProfilePlist(3);
  SetStates(root, "RGB", {2, 1, 2});
  SetStates(root, "SIM", {4, 4, 4});
  SetStates(root, "DST", {1, 1, 1});
  WriteBuilt(root);
  const std::string before = zvtest::ReadFile(paths_.current());
  auto base = NewList(), empty = NewList(), sim_exclude = NewList();
  sim_exclude->slots[0] = Profile("F1.icc", 4, 0);
  sim_exclude->iNum = 1;
  auto rgb = NewList(), sim = NewList(), dst = NewList();
  ASSERT_EQ(ZVPListMappingProfile_All_Pap(base.get(), base.get(), base.get(), rgb.get(), sim.get(), dst.get(),
                                          empty.get(), sim_exclude.get(), empty.get()),
            0);
  EXPECT_EQ(Names(*rgb), "F0.icc F2.icc ");
  EXPECT_EQ(Names(*sim), "F0.icc F2.icc ");
  EXPECT_EQ(dst->iNum, 0);
  EXPECT_EQ(zvtest::ReadFile(paths_.current()), before);  // nothing written
  // A missing file maps the base lists alone.
  std::remove(paths_.current().c_str());
  auto own = PackedList(3, 5), alone = NewList();
  ASSERT_EQ(ZVPListMappingProfile_All_Pap(own.get(), own.get(), own.get(), alone.get(), rgb.get(), sim.get(),
                                          empty.get(), empty.get(), empty.get()),
            0);
  EXPECT_TRUE(Same(*alone, *own));
  EXPECT_FALSE(zvtest::Exists(paths_.current()));
}

// ---- Mapping writer ----------------------------------------------------------

TEST_F(ProfilePlistVariantsTest, MappingWriterWritesTheMappedClasses) {
  plist_t root = zvtest::BuildProfilePlist(4);
  SetStates(root, "RGB", {1, 2, 3, 4});
  WriteBuilt(root);
  auto base = NewList(), empty = NewList();
  base->slots[0] = Profile("new.icc", 5, 2);
  base->iNum = 1;
  ASSERT_EQ(ZVPListWriteProfile_All_Pap(base.get(), empty.get(), empty.get(), empty.get(), empty.get(), empty.get()),
            0);
  auto rgb = NewList(), sim = NewList(), dst = NewList();
  ASSERT_EQ(ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  EXPECT_EQ(Names(*rgb), "F1.icc F3.icc new.icc ");
  EXPECT_EQ(rgb->slots[1].InMenu, 4);
  EXPECT_EQ(sim->iNum, 0);  // the file's SIM records were in state 1
  EXPECT_EQ(dst->iNum, 0);
}

TEST_F(ProfilePlistVariantsTest, MappingWriterRefusedWritesNothing) {
  WriteClasses({"RGB", "SIM", "DST"}, 3);
  const std::string before = zvtest::ReadFile(paths_.current());
  ASSERT_EQ(chmod(paths_.current().c_str(), 0444), 0);
  const int result = zvtest::RunAsOtherUser([] {
    auto base = PackedList(2, 1);
    return ZVPListWriteProfile_All_Pap(base.get(), base.get(), base.get(), base.get(), base.get(), base.get()) == -1
               ? 0
               : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(zvtest::ReadFile(paths_.current()), before);
}

// ---- Path variable -----------------------------------------------------------

TEST_F(ProfilePlistVariantsTest, NullOrOverlongPathTouchesNothing) {
  const std::string prefix = paths_.dir().path() + "/";
  const std::string overlong = prefix + std::string(255 - prefix.size(), 'p');
  for (const std::string* path : {static_cast<const std::string*>(nullptr), &overlong}) {
    if (path == nullptr) {
      ZV_PLIST_PROFILE_PATH = nullptr;
    } else {
      paths_.SetCurrent(*path);
    }
    auto list = PackedList(2, 3), out = PackedList(2, 3);
    const auto pattern = PackedList(2, 3);
    EXPECT_EQ(ZVPListReadProfile_Dict(out.get(), ZV_CLASS_RGB), -1);
    EXPECT_EQ(ZVPListReadProfile_Dict_Pap(out.get(), ZV_CLASS_RGB), -1);
    EXPECT_EQ(ZVPListWriteProfile_Dict(list.get(), ZV_CLASS_RGB, out.get(), out.get(), out.get()), -1);
    EXPECT_EQ(ZVPListMappingProfile_All_Pap(list.get(), list.get(), list.get(), out.get(), out.get(), out.get(),
                                            list.get(), list.get(), list.get()),
              -1);
    EXPECT_EQ(ZVPListWriteProfile_All_Pap(list.get(), list.get(), list.get(), list.get(), list.get(), list.get()), -1);
    plist_t dict = nullptr;
    EXPECT_EQ(ZVPListMappingGetMainDict_FromPlist(&dict, &dict, &dict), -1);
    EXPECT_EQ(dict, nullptr);
    EXPECT_TRUE(Same(*out, *pattern));
  }
  EXPECT_FALSE(zvtest::Exists(overlong));
  EXPECT_FALSE(zvtest::Exists(overlong.substr(0, 254)));
}

// ---- Dictionary accessors ----------------------------------------------------

TEST_F(ProfilePlistVariantsTest, MainDictionariesAreCopiesTheCallerFrees) {
  WriteClasses({"RGB", "SIM", "DST"}, 5);
  plist_t dicts[3] = {};
  ASSERT_EQ(ZVPListMappingGetMainDict_FromPlist(&dicts[0], &dicts[1], &dicts[2]), 0);
  for (plist_t dict : dicts) {
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(plist_get_parent(dict), nullptr);  // a node of its own, not part of a freed tree
    plist_t sub[6] = {};
    int32_t count = -1;
    ASSERT_EQ(ZVPListMappingGetSubDict(dict, &sub[0], &sub[1], &sub[2], &sub[3], &sub[4], &sub[5], &count), 0);
    EXPECT_EQ(count, 5);
    const char* keys[] = {"IndexOnDevice0004", "InMenu0004", "ProfileClass0004",
                          "Location0004",      "FileName0004", "ProfileName0004"};
    for (int f = 0; f < 6; ++f) {
      EXPECT_EQ(plist_get_parent(sub[f]), dict) << keys[f];  // borrowed from the class dictionary
      EXPECT_NE(plist_dict_get_item(sub[f], keys[f]), nullptr) << keys[f];
    }
    plist_free(dict);
  }
}

TEST_F(ProfilePlistVariantsTest, MainDictionariesStoredBeforeAMissingClassStay) {
  WriteClasses({"RGB", "SIM"}, 1);
  plist_t rgb = nullptr, sim = nullptr, dst = nullptr;
  EXPECT_EQ(ZVPListMappingGetMainDict_FromPlist(&rgb, &sim, &dst), -1);
  EXPECT_NE(rgb, nullptr);
  EXPECT_NE(sim, nullptr);
  EXPECT_EQ(dst, nullptr);
  plist_free(rgb);
  plist_free(sim);
  WriteClasses({"SIM", "DST"}, 1);
  rgb = sim = dst = nullptr;
  EXPECT_EQ(ZVPListMappingGetMainDict_FromPlist(&rgb, &sim, &dst), -1);
  EXPECT_TRUE(rgb == nullptr && sim == nullptr && dst == nullptr);
  zvtest::WriteFile(paths_.current(), "not a property list");
  EXPECT_EQ(ZVPListMappingGetMainDict_FromPlist(&rgb, &sim, &dst), -1);
  EXPECT_EQ(ZVPListMappingGetMainDict_FromPlist(&rgb, nullptr, &dst), -1);
  EXPECT_TRUE(rgb == nullptr && sim == nullptr && dst == nullptr);
}

TEST_F(ProfilePlistVariantsTest, SubDictionariesStopAtTheFirstMissingOne) {
  plist_t cls = zvtest::BuildClassDictionary(2, /*with_count=*/false);
  plist_t sub[6] = {};
  int32_t count = 77;
  EXPECT_EQ(ZVPListMappingGetSubDict(cls, &sub[0], &sub[1], &sub[2], &sub[3], &sub[4], &sub[5], &count), 0);
  EXPECT_EQ(count, 77);  // no "iNum": left as it was
  plist_dict_set_item(cls, "iNum", plist_new_string("2"));
  EXPECT_EQ(ZVPListMappingGetSubDict(cls, &sub[0], &sub[1], &sub[2], &sub[3], &sub[4], &sub[5], &count), 0);
  EXPECT_EQ(count, 77);  // not an integer: left as it was

  plist_dict_remove_item(cls, "FileName");
  plist_t partial[6] = {};
  EXPECT_EQ(ZVPListMappingGetSubDict(cls, &partial[0], &partial[1], &partial[2], &partial[3], &partial[4],
                                     &partial[5], &count),
            -1);
  EXPECT_EQ(partial[0], plist_dict_get_item(cls, "IndexOnDevice"));
  EXPECT_EQ(partial[1], plist_dict_get_item(cls, "InMenu"));
  EXPECT_EQ(partial[2], plist_dict_get_item(cls, "ProfileClass"));
  EXPECT_TRUE(partial[3] == nullptr && partial[4] == nullptr && partial[5] == nullptr);  // Location comes last

  plist_t text = plist_new_string("RGB");
  plist_t none[6] = {};
  EXPECT_EQ(ZVPListMappingGetSubDict(text, &none[0], &none[1], &none[2], &none[3], &none[4], &none[5], &count), -1);
  EXPECT_EQ(ZVPListMappingGetSubDict(nullptr, &none[0], &none[1], &none[2], &none[3], &none[4], &none[5], &count), -1);
  EXPECT_EQ(ZVPListMappingGetSubDict(cls, &none[0], &none[1], &none[2], &none[3], &none[4], &none[5], nullptr), -1);
  for (plist_t p : none) EXPECT_EQ(p, nullptr);
  plist_free(text);
  plist_free(cls);
}

}  // namespace
