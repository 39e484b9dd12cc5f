// SPDX-License-Identifier: MIT
// Cross-check with an independent property-list implementation, Python's
// plistlib: it must load what our writer writes into exactly the profile
// list structure, and our reader must read what it writes (other key
// order, only some numbered entries, extra keys, no "iNum", values of the
// wrong type, binary form).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fixed_field.h"
#include "store/zvplist.h"
#include "store_fixture.h"

namespace {

using zvtest::NewList;

std::string ScriptPath() {
  const char* root = std::getenv("ZV_SOURCE_ROOT");
  return std::string(root ? root : ".") + "/tests/store/plist_crosscheck.py";
}

// Runs the script with `arguments`; returns its exit status and stdout.
int RunScript(const std::string& arguments, std::string* output) {
  const std::string command = "python3 '" + ScriptPath() + "' " + arguments;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The line the script prints for a slot.
std::string SlotLine(const char* cls, int i, const ProfileRecord& r) {
  return std::string(cls) + " " + std::to_string(i) + " " + std::to_string(r.IndexOnDevice) + " " +
         std::to_string(r.InMenu) + " " + std::to_string(r.ProfileClass) + " " + std::to_string(r.Location) + " " +
         std::string(zv::FieldText(r.FileName)) + "|" + std::string(zv::FieldText(r.ProfileName)) + "\n";
}

class PlistCrosscheckTest : public ::testing::Test {
 protected:
  std::string Quoted() const { return "'" + paths_.current() + "'"; }
  zvtest::StorePathsScope paths_;
};

TEST_F(PlistCrosscheckTest, PlistlibLoadsOurFileIntoTheExactStructure) {
  auto rgb = zvtest::PackedList(3, -2), sim = NewList(), dst = zvtest::PackedList(500, 40);
  zv::CopyToField(rgb->slots[1].ProfileName, "Fotopapier gl\xc3\xa4nzend");
  ASSERT_EQ(ZVPListWriteProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  std::string expected = "RGB iNum 3\n";
  for (int i = 0; i < 3; ++i) expected += SlotLine("RGB", i, rgb->slots[i]);
  expected += "SIM iNum 0\nDST iNum 500\n";
  for (int i = 0; i < 500; ++i) expected += SlotLine("DST", i, dst->slots[i]);
  std::string output;
  ASSERT_EQ(RunScript("check " + Quoted(), &output), 0) << output;
  EXPECT_EQ(output, expected);
}

void ExpectSparseLists(const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst) {
  // RGB has no "iNum": the count of used slots (4) replaces the cleared
  // 0, and slot 7, beyond the count, is cleared with the rest.
  EXPECT_EQ(rgb.iNum, 4);
  EXPECT_EQ(rgb.slots[2].IndexOnDevice, 102);
  EXPECT_EQ(rgb.slots[2].ProfileClass, -3);
  EXPECT_EQ(rgb.slots[1].Location, 5);
  EXPECT_EQ(zv::FieldText(rgb.slots[2].ProfileName), "Profil \xc3\xa9 2");
  EXPECT_EQ(rgb.slots[7].IndexOnDevice, 0);
  EXPECT_EQ(rgb.slots[3].InMenu, 0);
  // SIM: the string "2" in InMenu0001 counts as missing, so 3 slots are in
  // use against "iNum" 4; the integer in FileName0002 counts as missing.
  EXPECT_EQ(sim.iNum, 3);
  EXPECT_EQ(sim.slots[1].InMenu, 0);
  EXPECT_EQ(sim.slots[1].IndexOnDevice, 101);
  EXPECT_EQ(zv::FieldText(sim.slots[2].FileName), "");
  EXPECT_EQ(sim.slots[7].InMenu, 0);
  // DST: count and used slots agree, so the gap stays and slot 7 is kept;
  // the unpadded and out-of-range keys set nothing.
  EXPECT_EQ(dst.iNum, 4);
  EXPECT_EQ(dst.slots[7].InMenu, 2);
  EXPECT_EQ(zv::FieldText(dst.slots[7].FileName), "F7.icc");
  EXPECT_EQ(dst.slots[3].InMenu, 0);
}

TEST_F(PlistCrosscheckTest, OurReaderReadsWhatPlistlibWrote) {
  for (const char* variant : {"sparse", "sparse-binary"}) {
    SCOPED_TRACE(variant);
    std::string output;
    ASSERT_EQ(RunScript("write " + Quoted() + " " + variant, &output), 0) << output;
    auto rgb = NewList(), sim = NewList(), dst = NewList();
    ASSERT_EQ(ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()), 0);
    ExpectSparseLists(*rgb, *sim, *dst);
  }
}

TEST_F(PlistCrosscheckTest, OurRewriteOfAPlistlibFilePassesTheCheck) {
  std::string output;
  ASSERT_EQ(RunScript("write " + Quoted() + " sparse", &output), 0) << output;
  auto rgb = NewList(), sim = NewList(), dst = NewList();
  ASSERT_EQ(ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  ASSERT_EQ(ZVPListWriteProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  output.clear();
  ASSERT_EQ(RunScript("check " + Quoted(), &output), 0) << output;
  EXPECT_NE(output.find("DST 7 107 2 -8 5 F7.icc|Profil \xc3\xa9 7\n"), std::string::npos) << output;
}

}  // namespace
