// SPDX-License-Identifier: MIT
// Keeping an unreadable list aside moves only the regular file whose read
// failed, never a node a link leads to (one that took its name since is
// ListUpdateTest's).
#include "store/unreadable_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.h"

namespace {

zv::FileIdentity IdentityOfNode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return zv::IdentityOf(st);
}

TEST(KeepUnreadableListAsideTest, MovesOnlyTheRegularFileWhoseReadFailed) {
  zvtest::TempDir dir;
  zvtest::WriteFile(dir.File("list"), "<plist><dict>");
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("fifo", dir.File("to-fifo").c_str()), 0);
  const zv::FileIdentity fifo = IdentityOfNode(dir.File("fifo"));
  const struct {
    const char* name;
    zv::FileIdentity unread;
    zv::KeepAsideOutcome outcome;
    std::string error;
  } cases[] = {
      {"to-fifo", fifo, zv::KeepAsideOutcome::kNotMoved,
       "'" + dir.File("to-fifo") + "' leads to a FIFO, not a regular file"},
      {"list", IdentityOfNode(dir.File("list")), zv::KeepAsideOutcome::kKeptAside, ""},
  };
  for (const auto& c : cases) {
    const zv::KeptAside kept = zv::KeepUnreadableListAside(dir.File(c.name), c.unread);
    EXPECT_EQ(kept.outcome, c.outcome) << c.name;
    EXPECT_EQ(kept.error, c.error) << c.name;
  }
  EXPECT_EQ(IdentityOfNode(dir.File("fifo")), fifo);
  EXPECT_FALSE(zvtest::Exists(dir.File("fifo.unreadable")));
  EXPECT_EQ(zvtest::ReadFile(dir.File("list.unreadable")), "<plist><dict>");
}

}  // namespace
