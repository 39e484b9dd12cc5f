// SPDX-License-Identifier: MIT
// The profile list as a file: a list far beyond the whole-file bound (a
// sparse 15 TB file) is an unreadable list like any other, not an attempt
// to hold it in memory; a list that is a symbolic link stays one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "store/zvplist.h"
#include "store_fixture.h"

namespace {

TEST(ListFileTest, SparseHugeFileIsAFailedReadThatLeavesTheListsAlone) {
  zvtest::StorePathsScope paths;
  zvtest::WriteFile(paths.current(), "");
  ASSERT_EQ(truncate(paths.current().c_str(), off_t{15} * 1000 * 1000 * 1000 * 1000), 0);
  auto rgb = zvtest::PackedList(3, 1), sim = zvtest::PackedList(2, 2), dst = zvtest::PackedList(1, 3);
  EXPECT_EQ(ZVPListReadProfile_All(rgb.get(), sim.get(), dst.get()), -1);
  std::string where;
  EXPECT_TRUE(zvtest::SameList(*rgb, *zvtest::PackedList(3, 1), &where)) << where;
}

TEST(ListFileTest, ListBehindASymbolicLinkIsWrittenThroughIt) {
  zvtest::StorePathsScope paths;
  const std::string target = paths.dir().File("kept-elsewhere.plist");
  ASSERT_EQ(symlink(target.c_str(), paths.current().c_str()), 0);
  const auto rgb = zvtest::PackedList(3, 1), sim = zvtest::PackedList(2, 2), dst = zvtest::PackedList(1, 3);
  ASSERT_EQ(ZVPListWriteProfile_All(rgb.get(), sim.get(), dst.get()), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(paths.current()));
  auto read = zvtest::NewList(), ignored_sim = zvtest::NewList(), ignored_dst = zvtest::NewList();
  ASSERT_EQ(ZVPListReadProfile_All(read.get(), ignored_sim.get(), ignored_dst.get()), 0);
  std::string where;
  EXPECT_TRUE(zvtest::SameList(*read, *rgb, &where)) << where;
  struct stat st;
  EXPECT_EQ(lstat(target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

}  // namespace
