// SPDX-License-Identifier: MIT
// Where a walk request through the real zvxpcd leaves its profile list:
// user first and model second, and the default folder, made on the first
// walk, whose length bounds the names. Which names and argument vectors the
// decoding takes is the front's walk request tests' (DecodeWalkRequestTest);
// the path bytes going in unchanged are the store's.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "walk_service.h"

namespace {

using zvtest::ReadStoredProfiles;
using zvtest::SlotSummary;
using zvtest::StoredProfiles;

// Longest spool path: its buffer of 256 bytes less the terminating zero.
constexpr std::size_t kMaxSpoolPathBytes = 255;
constexpr const char* kSpoolFixedText = "--profile.spool.plist";  // two hyphens and the suffix

class WalkPathsTest : public zvtest::PrinterAWalkTest {
 protected:
  std::vector<std::string> TableWalk() const { return zvtest::TableWalkArguments(printer_->address()); }
};

TEST_F(WalkPathsTest, UserFirstModelSecondAndOnlyTheCurrentListIsWritten) {
  StartService();
  ASSERT_EQ(Walk("PX-100", "alice", TableWalk()), "iRet=0") << ServiceStderr();
  const StoredProfiles stored = ReadStoredProfiles(CurrentPlist("alice", "PX-100"));
  ASSERT_TRUE(stored.read);
  EXPECT_EQ(stored.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
  EXPECT_EQ(stored.sim, SlotSummary{"PROOF.ICC 5 2"});
  EXPECT_EQ(stored.dst, SlotSummary{"PROOF.ICC 5 2"});
  // The walk reads and writes the current list only; the previous and the
  // spool list are not made.
  EXPECT_EQ(PreferencesEntries(), std::vector<std::string>{"alice-PX-100-profile.plist"});
  struct stat st;
  ASSERT_EQ(::stat(CurrentPlist("alice", "PX-100").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0664u);  // 0664 less the mask of 002
}

// Without --preferences-dir the profile lists live in $XDG_CONFIG_HOME/zvxpc/,
// which the first walk creates (with its missing parent; that it is the
// user's alone is CreatePreferencesDirectoryTest's); the path limits then
// follow that folder's length.
TEST_F(WalkPathsTest, DefaultFolderIsCreatedPrivateAndBoundsTheNames) {
  const std::string config = dir_.File("config");
  const std::string folder = config + "/zvxpc/";
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", config.c_str(), 1), 0);
  StartService(/*default_directory=*/true);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_FALSE(zvtest::Exists(config));  // not before it is needed

  const std::size_t budget = kMaxSpoolPathBytes - folder.size() - std::strlen(kSpoolFixedText);
  EXPECT_EQ(Walk("", std::string(budget + 1, 'u'), TableWalk()), "iRet=-1");
  EXPECT_FALSE(zvtest::Exists(config));
  ASSERT_EQ(Walk("PX-100", std::string(budget - 6, 'u'), TableWalk()), "iRet=0") << ServiceStderr();
  const StoredProfiles stored = ReadStoredProfiles(folder + std::string(budget - 6, 'u') + "-PX-100-profile.plist");
  EXPECT_TRUE(stored.read);
  EXPECT_EQ(stored.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
}

}  // namespace
