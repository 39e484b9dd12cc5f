// SPDX-License-Identifier: MIT
// The profile list as a file: a list far beyond the whole-file bound (a
// sparse 15 TB file) is an unreadable list like any other, not an attempt
// to hold it in memory. (A list behind a symbolic link is the file
// replacement's test.)
#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
