// SPDX-License-Identifier: MIT
// The whole-file reader and writer of the profile property list: round
// trips, partial and hand-edited files, failures that leave the lists
// untouched, damaged files, and how the file is replaced.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/fixed_field.h"
#include "platform/property_list.h"
#include "plist_file_builder.h"
#include "store/zvplist.h"
#include "store_fixture.h"
#include "support/other_user.h"

namespace {

using zvtest::NewList;
using zvtest::PackedList;

// Three lists that a test reads into, pre-filled with a pattern so that an
// untouched list can be told from a cleared one.
struct ReadTarget {
  std::unique_ptr<ProfileList> rgb = PackedList(3, 900), sim = PackedList(3, 901), dst = PackedList(3, 902);
  int32_t Read() { return ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()); }
  bool Untouched(std::string* where) const {
    return zvtest::SameList(*rgb, *PackedList(3, 900), where) && zvtest::SameList(*sim, *PackedList(3, 901), where) &&
           zvtest::SameList(*dst, *PackedList(3, 902), where);
  }
};

// Three cleared lists.
struct Cleared {
  std::unique_ptr<ProfileList> rgb = NewList(), sim = NewList(), dst = NewList();
  int32_t Read() { return ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()); }
};

class ProfilePlistTest : public ::testing::Test {
 protected:
  void WriteBuilt(plist_t root, bool binary = false) {
    zvtest::WritePlistFile(paths_.current(), root, binary);
    plist_free(root);
  }
  zv::PlistPtr ParseWritten() {
    zv::PlistPtr root;
    std::string error;
    EXPECT_TRUE(zv::ReadPropertyListFile(paths_.current(), &root, &error)) << error;
    return root;
  }
  zvtest::StorePathsScope paths_;
};

TEST_F(ProfilePlistTest, RoundTripGivesTheSameLists) {
  auto rgb = PackedList(500, -260), sim = PackedList(10, 5), dst = NewList();
  rgb->slots[7].ProfileAvailability = 3;  // lives in memory only
  rgb->slots[8].IndexOnDevice = INT32_MIN;
  rgb->slots[8].Location = INT32_MAX;
  ASSERT_EQ(ZVPListWriteProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  Cleared back;
  ASSERT_EQ(back.Read(), 0);
  rgb->slots[7].ProfileAvailability = 0;
  std::string where;
  EXPECT_TRUE(zvtest::SameList(*back.rgb, *rgb, &where)) << "RGB " << where;
  EXPECT_TRUE(zvtest::SameList(*back.sim, *sim, &where)) << "SIM " << where;
  EXPECT_TRUE(zvtest::SameList(*back.dst, *dst, &where)) << "DST " << where;
  EXPECT_EQ(back.rgb->slots[0].IndexOnDevice, -260);  // how integers are written is the property list's test
}

// A name that is not UTF-8 or holds what XML cannot carry is left out of
// the file and reads back empty; the record's other fields stay.
TEST_F(ProfilePlistTest, NamesXmlCannotCarryAreLeftOutAndReadBackEmpty) {
  auto rgb = PackedList(4, 1), empty = NewList();
  zv::CopyToField(rgb->slots[0].ProfileName, "Glossy\x01");
  zv::CopyToField(rgb->slots[1].ProfileName, "Matte\xEF\xBF\xBF");
  zv::CopyToField(rgb->slots[2].ProfileName, "Tab\tand\nbreak");  // allowed in XML
  zv::CopyToField(rgb->slots[3].FileName, "bad\xff.icc");
  ASSERT_EQ(ZVPListWriteProfile_All(rgb.get(), empty.get(), empty.get()), 0);
  const zv::PlistPtr root = ParseWritten();
  EXPECT_EQ(plist_dict_get_item(zvtest::FieldDictionary(root.get(), "RGB", "FileName"), "FileName0003"), nullptr);
  Cleared back;
  ASSERT_EQ(back.Read(), 0);
  EXPECT_EQ(zv::FieldText(back.rgb->slots[0].ProfileName), "");
  EXPECT_EQ(zv::FieldText(back.rgb->slots[1].ProfileName), "");
  EXPECT_EQ(zv::FieldText(back.rgb->slots[2].ProfileName), "Tab\tand\nbreak");
  EXPECT_EQ(zv::FieldText(back.rgb->slots[3].FileName), "");
  EXPECT_EQ(zv::FieldText(back.rgb->slots[0].FileName), zv::FieldText(rgb->slots[0].FileName));
  EXPECT_EQ(zv::FieldText(back.rgb->slots[3].ProfileName), zv::FieldText(rgb->slots[3].ProfileName));
}

TEST_F(ProfilePlistTest, EmptyListsStillWriteEveryNumberedEntry) {
  auto empty = NewList();
  ASSERT_EQ(ZVPListWriteProfile_All(empty.get(), empty.get(), empty.get()), 0);
  const zv::PlistPtr root = ParseWritten();
  for (const char* cls : {"RGB", "SIM", "DST"}) {
    plist_t class_dict = plist_dict_get_item(root.get(), cls);
    uint64_t count = 99;
    plist_get_uint_val(plist_dict_get_item(class_dict, "iNum"), &count);
    EXPECT_EQ(count, 0u);
    for (const char* field : {"IndexOnDevice", "InMenu", "ProfileClass", "Location", "FileName", "ProfileName"}) {
      plist_t sub = plist_dict_get_item(class_dict, field);
      EXPECT_EQ(plist_dict_get_size(sub), 500u) << cls << " " << field;
      EXPECT_NE(plist_dict_get_item(sub, (std::string(field) + "0499").c_str()), nullptr);
    }
  }
  uint64_t version = 0;
  plist_get_uint_val(plist_dict_get_item(root.get(), "PlistVersion"), &version);
  EXPECT_EQ(version, 1u);
}

TEST_F(ProfilePlistTest, PartialFileFillsOnlyTheSlotsItHoldsInEitherFormat) {
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "XML");
    WriteBuilt(zvtest::BuildProfilePlist(3), binary);
    ASSERT_EQ(zvtest::ReadFile(paths_.current()).substr(0, 6) == "bplist", binary);
    Cleared back;
    ASSERT_EQ(back.Read(), 0);
    EXPECT_EQ(back.sim->iNum, 3);
    EXPECT_EQ(back.sim->slots[2].IndexOnDevice, 102);
    EXPECT_EQ(back.sim->slots[2].ProfileClass, -3);
    EXPECT_EQ(zv::FieldText(back.sim->slots[2].ProfileName), "Name 2");
    EXPECT_EQ(zv::FieldText(back.dst->slots[2].FileName), "F2.icc");
    EXPECT_EQ(back.sim->slots[3].IndexOnDevice, 0);
    EXPECT_EQ(zv::FieldText(back.dst->slots[3].FileName), "");
  }
}

TEST_F(ProfilePlistTest, KeysOfOtherFormsAreIgnored) {
  plist_t root = zvtest::BuildProfilePlist(1);
  plist_t in_menu = zvtest::FieldDictionary(root, "RGB", "InMenu");
  for (const char* key : {"InMenu0500", "InMenu9999", "InMenu7", "InMenu00007", "InMenu-001", "inmenu0002",
                          "InMenu000a", "InMenu0003 ", "FileName0004"}) {
    plist_dict_set_item(in_menu, key, plist_new_uint(3));
  }
  plist_dict_set_item(plist_dict_get_item(root, "RGB"), "Extra", plist_new_string("x"));
  WriteBuilt(root);
  Cleared back;
  ASSERT_EQ(back.Read(), 0);
  EXPECT_EQ(back.rgb->iNum, 1);
  EXPECT_EQ(back.rgb->slots[0].InMenu, 1);
  for (int i = 1; i < ZV_PROFILE_SLOTS; ++i) ASSERT_EQ(back.rgb->slots[i].InMenu, 0) << "slot " << i;
}

// A missing entry, or one of the wrong type, leaves the caller's value.
TEST_F(ProfilePlistTest, MissingEntriesAndValuesOfTheWrongTypeKeepTheCallersValues) {
  plist_t root = zvtest::BuildProfilePlist(3);
  plist_dict_remove_item(zvtest::FieldDictionary(root, "RGB", "ProfileName"), "ProfileName0001");
  plist_dict_remove_item(zvtest::FieldDictionary(root, "RGB", "Location"), "Location0002");
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "IndexOnDevice"), "IndexOnDevice0000",
                      plist_new_string("7"));
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "ProfileClass"), "ProfileClass0000", plist_new_real(2.0));
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "Location"), "Location0000", plist_new_bool(1));
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "FileName"), "FileName0000", plist_new_uint(12));
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "ProfileName"), "ProfileName0000", plist_new_dict());
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "IndexOnDevice"), "IndexOnDevice0001",
                      plist_new_uint(1ull << 40));  // beyond 32 bits
  plist_dict_set_item(plist_dict_get_item(root, "SIM"), "iNum", plist_new_string("3"));
  WriteBuilt(root);
  auto rgb = NewList(), sim = NewList(), dst = NewList();
  rgb->slots[0].IndexOnDevice = 11;
  rgb->slots[0].ProfileClass = 12;
  rgb->slots[0].Location = 13;
  zv::CopyToField(rgb->slots[0].FileName, "keep.icc");
  rgb->slots[1].IndexOnDevice = 14;
  zv::CopyToField(rgb->slots[1].ProfileName, "kept");
  rgb->slots[2].Location = 55;
  ASSERT_EQ(ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  EXPECT_EQ(rgb->slots[0].IndexOnDevice, 11);
  EXPECT_EQ(rgb->slots[0].ProfileClass, 12);
  EXPECT_EQ(rgb->slots[0].Location, 13);
  EXPECT_EQ(zv::FieldText(rgb->slots[0].FileName), "keep.icc");
  EXPECT_EQ(zv::FieldText(rgb->slots[0].ProfileName), "");
  EXPECT_EQ(rgb->slots[1].IndexOnDevice, 14);
  EXPECT_EQ(zv::FieldText(rgb->slots[1].ProfileName), "kept");
  EXPECT_EQ(rgb->slots[2].Location, 55);
  EXPECT_EQ(rgb->slots[1].Location, 4);
  EXPECT_EQ(sim->iNum, 3);  // mended by the normalisation
}

TEST_F(ProfilePlistTest, LongNamesAreCutAtACharacterBoundary) {
  plist_t root = zvtest::BuildProfilePlist(3);
  // 30 ASCII bytes and a two-byte character: 32 bytes, so the cut at 31
  // would split the character.
  const std::string split = std::string(30, 'a') + "\xc3\xa9";
  const std::string whole = std::string(29, 'b') + "\xc3\xa9" + "tail";
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "ProfileName"), "ProfileName0000",
                      plist_new_string(split.c_str()));
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "ProfileName"), "ProfileName0001",
                      plist_new_string(whole.c_str()));
  plist_dict_set_item(zvtest::FieldDictionary(root, "RGB", "FileName"), "FileName0002",
                      plist_new_string(std::string(300, 'c').c_str()));
  WriteBuilt(root);
  Cleared back;
  ASSERT_EQ(back.Read(), 0);
  EXPECT_EQ(std::string(back.rgb->slots[0].ProfileName, 32), std::string(30, 'a') + std::string(2, '\0'));
  EXPECT_EQ(zv::FieldText(back.rgb->slots[1].ProfileName), std::string(29, 'b') + "\xc3\xa9");
  EXPECT_EQ(zv::FieldText(back.rgb->slots[2].FileName), std::string(31, 'c'));
  // A name cut this way is written out again, not dropped as broken text.
  ASSERT_EQ(ZVPListWriteProfile_All(back.rgb.get(), back.sim.get(), back.dst.get()), 0);
  Cleared again;
  ASSERT_EQ(again.Read(), 0);
  EXPECT_EQ(zv::FieldText(again.rgb->slots[0].ProfileName), std::string(30, 'a'));
}

TEST_F(ProfilePlistTest, FailedReadsLeaveAllListsUntouched) {
  struct Case {
    const char* name;
    std::string content;  // empty: no file
  };
  auto built = [](auto edit) {
    plist_t root = zvtest::BuildProfilePlist(2);
    edit(root);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    std::string text(xml, length);
    plist_to_xml_free(xml);
    plist_free(root);
    return text;
  };
  const Case cases[] = {
      {"missing file", ""},
      {"not a property list", "hello, world\n"},
      {"top level is an array", "<plist version=\"1.0\"><array><string>RGB</string></array></plist>"},
      {"no SIM", built([](plist_t r) { plist_dict_remove_item(r, "SIM"); })},
      {"RGB is a string", built([](plist_t r) { plist_dict_set_item(r, "RGB", plist_new_string("x")); })},
      {"DST lacks Location",
       built([](plist_t r) { plist_dict_remove_item(plist_dict_get_item(r, "DST"), "Location"); })},
      {"SIM InMenu is an integer",
       built([](plist_t r) { plist_dict_set_item(plist_dict_get_item(r, "SIM"), "InMenu", plist_new_uint(1)); })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(paths_.current().c_str());
    if (!c.content.empty()) zvtest::WriteFile(paths_.current(), c.content);
    ReadTarget target;
    EXPECT_EQ(target.Read(), -1);
    std::string where;
    EXPECT_TRUE(target.Untouched(&where)) << where;
  }
}

TEST_F(ProfilePlistTest, UnreadableFileFails) {
  WriteBuilt(zvtest::BuildProfilePlist(2));
  ASSERT_EQ(chmod(paths_.current().c_str(), 0200), 0);
  const int result = zvtest::RunAsOtherUser([] {
    ReadTarget target;
    std::string where;
    return target.Read() == -1 && target.Untouched(&where) ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
}

TEST_F(ProfilePlistTest, FileCutAtAnyLengthFailsCleanlyOrReads) {
  plist_t root = zvtest::BuildProfilePlist(2);
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  const std::string whole(xml, length);
  plist_to_xml_free(xml);
  xml = nullptr;
  plist_to_bin(root, &xml, &length);
  const std::string binary(xml, length);
  plist_to_bin_free(xml);
  plist_free(root);
  for (const std::string* file : {&whole, &binary}) {
    int failures = 0;
    for (std::size_t cut = 0; cut < file->size(); ++cut) {
      // A fresh file: one cut to nothing and written again waits for the
      // disk at its next open.
      std::remove(paths_.current().c_str());
      zvtest::WriteFile(paths_.current(), file->substr(0, cut));
      ReadTarget target;
      const int32_t result = target.Read();
      std::string where;
      if (result == -1) {
        ++failures;
        ASSERT_TRUE(target.Untouched(&where)) << "cut at " << cut << ": " << where;
      } else {
        ASSERT_EQ(result, 0) << "cut at " << cut;
        ASSERT_LE(target.rgb->iNum, 3) << "cut at " << cut;
      }
    }
    EXPECT_GT(failures, static_cast<int>(file->size()) / 2);
  }
}

TEST_F(ProfilePlistTest, WriterBuildsTheFileAnew) {
  plist_t root = zvtest::BuildProfilePlist(2);
  plist_dict_set_item(root, "ClientNote", plist_new_string("from a client"));
  plist_dict_set_item(plist_dict_get_item(root, "RGB"), "Extra", plist_new_uint(5));
  WriteBuilt(root);
  auto lists = PackedList(1, 1);
  ASSERT_EQ(ZVPListWriteProfile_All(lists.get(), lists.get(), lists.get()), 0);
  const zv::PlistPtr written = ParseWritten();
  EXPECT_EQ(plist_dict_get_item(written.get(), "ClientNote"), nullptr);
  EXPECT_EQ(plist_dict_get_item(plist_dict_get_item(written.get(), "RGB"), "Extra"), nullptr);
  EXPECT_EQ(plist_dict_get_size(written.get()), 4u);
}

TEST_F(ProfilePlistTest, RefusedWriteLeavesTheFileAsItWas) {
  WriteBuilt(zvtest::BuildProfilePlist(2));
  const std::string before = zvtest::ReadFile(paths_.current());
  ASSERT_EQ(chmod(paths_.current().c_str(), 0444), 0);
  const int result = zvtest::RunAsOtherUser([] {
    auto lists = PackedList(5, 1);
    return ZVPListWriteProfile_All(lists.get(), lists.get(), lists.get()) == -1 ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(zvtest::ReadFile(paths_.current()), before);

  paths_.SetCurrent(paths_.dir().File("no-such-dir/profile.plist"));
  auto lists = PackedList(1, 1);
  EXPECT_EQ(ZVPListWriteProfile_All(lists.get(), lists.get(), lists.get()), -1);
  EXPECT_FALSE(zvtest::Exists(paths_.dir().File("no-such-dir")));
}

TEST_F(ProfilePlistTest, NullOrOverlongPathFailsWithoutTouchingFiles) {
  auto lists = PackedList(1, 1);
  ZV_PLIST_PROFILE_PATH = nullptr;
  EXPECT_EQ(ZVPListWriteProfile_All(lists.get(), lists.get(), lists.get()), -1);
  ReadTarget target;
  EXPECT_EQ(target.Read(), -1);

  // 255 bytes: one more than a path may hold. Its first 254 bytes name a
  // file too, which must not be written instead.
  std::string dir_prefix = paths_.dir().path() + "/";
  const std::string overlong = dir_prefix + std::string(255 - dir_prefix.size(), 'p');
  ASSERT_EQ(overlong.size(), 255u);
  paths_.SetCurrent(overlong);
  EXPECT_EQ(ZVPListWriteProfile_All(lists.get(), lists.get(), lists.get()), -1);
  EXPECT_FALSE(zvtest::Exists(overlong));
  EXPECT_FALSE(zvtest::Exists(overlong.substr(0, 254)));
  std::string where;
  EXPECT_EQ(target.Read(), -1);
  EXPECT_TRUE(target.Untouched(&where)) << where;

  paths_.SetCurrent(overlong.substr(0, 254));
  EXPECT_EQ(ZVPListWriteProfile_All(lists.get(), lists.get(), lists.get()), 0);
}

TEST_F(ProfilePlistTest, PathBytesAreUsedUnchanged) {
  for (const char* name : {"caf\xc3\xa9-model-profile.plist", "caf\xe9-model-profile.plist"}) {
    const std::string path = paths_.dir().File(name);
    paths_.SetCurrent(path);
    auto lists = PackedList(2, 8);
    ASSERT_EQ(ZVPListWriteProfile_All(lists.get(), lists.get(), lists.get()), 0);
    EXPECT_TRUE(zvtest::Exists(path));
    Cleared back;
    EXPECT_EQ(back.Read(), 0);
    EXPECT_EQ(back.sim->iNum, 2);
  }
}

}  // namespace
