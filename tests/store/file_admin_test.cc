// SPDX-License-Identifier: MIT
// File administration of the current and previous profile property list:
// the write-access test, the generation swap, the existence test and the
// removal, on the process-wide paths.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "store/file_admin.h"
#include "store/zvplist.h"
#include "store_fixture.h"
#include "support/other_user.h"
#include "support/temp_dir.h"

namespace {

using zvtest::Exists;
using zvtest::ReadFile;
using zvtest::WriteFile;

// The process's file-creation mask, left as it was.
mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// A text of `size` bytes that differs from chunk to chunk.
std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 65535) % 26);
  return text;
}

class FileAdminTest : public ::testing::Test {
 protected:
  void SetUp() override { umask(077); }
  zvtest::StorePathsScope paths_;
};

// The write-access test answers as a write would turn out (its cases are
// the write-access test's own below), leaves nothing behind, and sets the
// process's creation mask whatever its answer.
TEST_F(FileAdminTest, AdminAndExistenceTestsChangeNothing) {
  WriteFile(paths_.current(), "profile data");
  EXPECT_EQ(ZVPListIsAdminProfile(), 1);
  EXPECT_EQ(ReadFile(paths_.current()), "profile data");
  EXPECT_EQ(CurrentUmask(), 002u);
  EXPECT_EQ(ZVPListExistProfile(), 1);

  ASSERT_EQ(unlink(paths_.current().c_str()), 0);
  EXPECT_EQ(ZVPListIsAdminProfile(), 1);
  EXPECT_EQ(ZVPListExistProfile(), 0);
  EXPECT_FALSE(Exists(paths_.current()));

  umask(077);
  paths_.SetCurrent(paths_.dir().File("missing/profile.plist"));
  EXPECT_EQ(ZVPListIsAdminProfile(), 0);
  EXPECT_FALSE(Exists(paths_.dir().File("missing")));
  EXPECT_EQ(CurrentUmask(), 002u);
}

TEST_F(FileAdminTest, FileThatCannotBeWrittenBlocksEveryOperation) {
  WriteFile(paths_.current(), "current");
  WriteFile(paths_.previous(), "previous");
  ASSERT_EQ(chmod(paths_.current().c_str(), 0444), 0);
  const int result = zvtest::RunAsOtherUser([] {
    int failures = 0;
    if (ZVPListIsAdminProfile() != 0) failures |= 1;
    if (ZVPListRemove(2) != 0) failures |= 2;
    if (ZVPListRemove(3) != 0) failures |= 4;
    if (ZVPListExistProfile() != 0) failures |= 8;
    for (int type : {0, 1, 2}) ZVPListSwapProfile(type);
    return failures;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(paths_.current()), "current");
  EXPECT_EQ(ReadFile(paths_.previous()), "previous");
}

TEST_F(FileAdminTest, WriteOnlyFileFailsTheTestThatOpensForReadingAndWriting) {
  WriteFile(paths_.current(), "current");
  ASSERT_EQ(chmod(paths_.current().c_str(), 0222), 0);
  const int result = zvtest::RunAsOtherUser([] {
    return ZVPListIsAdminProfile() == 0 && ZVPListExistProfile() == 0 ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  ASSERT_EQ(chmod(paths_.current().c_str(), 0644), 0);
  EXPECT_EQ(ReadFile(paths_.current()), "current");
}

TEST_F(FileAdminTest, RemoveTakesOnlyTheSelectedFile) {
  WriteFile(paths_.current(), "current");
  EXPECT_EQ(ZVPListRemove(2), 0);  // no previous file
  WriteFile(paths_.previous(), "previous");
  EXPECT_EQ(ZVPListRemove(1), 0);
  EXPECT_EQ(ZVPListRemove(4), 0);
  EXPECT_EQ(ZVPListRemove(-3), 0);
  EXPECT_TRUE(Exists(paths_.current()));
  EXPECT_TRUE(Exists(paths_.previous()));
  EXPECT_EQ(ZVPListRemove(2), 1);
  EXPECT_FALSE(Exists(paths_.previous()));
  EXPECT_TRUE(Exists(paths_.current()));
  EXPECT_EQ(ZVPListRemove(3), 1);
  EXPECT_FALSE(Exists(paths_.current()));
  EXPECT_EQ(CurrentUmask(), 002u);
}

// The backup is a whole copy of the current file over a longer old one; a
// missing current file leaves no backup.
TEST_F(FileAdminTest, BackUpCopiesTheCurrentFileWholeOverTheOldBackup) {
  const std::optional<std::string> currents[] = {Pattern(3 * 65535 + 1234), "", std::nullopt};
  for (const std::optional<std::string>& current : currents) {
    SCOPED_TRACE(current ? std::to_string(current->size()) + " bytes" : "no current file");
    std::remove(paths_.current().c_str());
    if (current) WriteFile(paths_.current(), *current);
    WriteFile(paths_.previous(), Pattern(5 * 65535));
    ZVPListSwapProfile(2);
    EXPECT_EQ(Exists(paths_.previous()), current.has_value());
    EXPECT_EQ(Exists(paths_.current()), current.has_value());
    if (!current) continue;
    EXPECT_EQ(ReadFile(paths_.previous()), *current);
    EXPECT_EQ(ReadFile(paths_.current()), *current);
    struct stat st;
    ASSERT_EQ(stat(paths_.previous().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
  }
}

// A directory opens for reading but fails on read; a fifo must not block.
// Neither is a list: the swap does nothing, the old backup stays.
TEST_F(FileAdminTest, BackUpOfWhatIsNotAFileNeitherBlocksNorTouchesTheBackup) {
  const std::string directory = paths_.dir().File("a-directory"), fifo = paths_.dir().File("a-fifo");
  ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  for (const std::string& source : {directory, fifo}) {
    WriteFile(paths_.previous(), "old");
    zv::SwapGenerations(zv::kSwapBackUpCurrent, source.c_str(), paths_.previous().c_str());
    EXPECT_EQ(ReadFile(paths_.previous()), "old") << source;
  }
}

TEST_F(FileAdminTest, BackUpOntoItsOwnNameKeepsTheContent) {
  WriteFile(paths_.current(), "current");
  zv::SwapGenerations(zv::kSwapBackUpCurrent, paths_.current().c_str(), paths_.current().c_str());
  EXPECT_EQ(ReadFile(paths_.current()), "current");
}

TEST_F(FileAdminTest, BackUpOverAPreviousFileThatCannotBeRemovedReplacesItsContent) {
  // The previous file lies in a directory the caller may not change, but
  // the file itself is writable: the old backup must not stay in front of
  // the copy. The names being one file must neither lose nor grow it.
  const std::string closed = paths_.dir().File("closed");
  ASSERT_EQ(mkdir(closed.c_str(), 0755), 0);
  const std::string previous = closed + "/previous.plist";
  const std::string same = closed + "/same.plist";
  WriteFile(paths_.current(), "current");
  WriteFile(previous, "an older and longer backup");
  WriteFile(same, "same");
  ASSERT_EQ(chmod(paths_.current().c_str(), 0644), 0);
  ASSERT_EQ(chmod(previous.c_str(), 0666), 0);
  ASSERT_EQ(chmod(same.c_str(), 0666), 0);
  ASSERT_EQ(chmod(closed.c_str(), 0555), 0);
  const std::string current = paths_.current();
  const int result = zvtest::RunAsOtherUser([&] {
    // Bounds a copy that would feed on its own output.
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    zv::SwapGenerations(zv::kSwapBackUpCurrent, current.c_str(), previous.c_str());
    zv::SwapGenerations(zv::kSwapBackUpCurrent, same.c_str(), same.c_str());
    return 0;
  });
  chmod(closed.c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(previous), "current");
  EXPECT_EQ(ReadFile(same), "same");
}

TEST_F(FileAdminTest, ExistenceTestOfAFifoDoesNotBlock) {
  ASSERT_EQ(mkfifo(paths_.current().c_str(), 0666), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10);  // a blocked open ends the child by signal
    ZVPListExistProfile();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(FileAdminTest, RestoreMakesPreviousCurrent) {
  WriteFile(paths_.current(), "current");
  WriteFile(paths_.previous(), "previous");
  ZVPListSwapProfile(0);
  EXPECT_EQ(ReadFile(paths_.current()), "previous");
  EXPECT_FALSE(Exists(paths_.previous()));
}

TEST_F(FileAdminTest, RestoreWithoutPreviousFileLeavesNoGeneration) {
  WriteFile(paths_.current(), "current");
  ZVPListSwapProfile(0);
  EXPECT_FALSE(Exists(paths_.current()));
}

TEST_F(FileAdminTest, RestoreThatCannotMoveThePreviousKeepsCurrent) {
  WriteFile(paths_.current(), "current");
  ASSERT_EQ(mkdir(paths_.previous().c_str(), 0755), 0);  // rename fails: not a file
  ZVPListSwapProfile(0);
  EXPECT_EQ(ReadFile(paths_.current()), "current");
}

TEST_F(FileAdminTest, DiscardAndUnknownTypes) {
  WriteFile(paths_.current(), "current");
  WriteFile(paths_.previous(), "previous");
  for (int type : {3, -1, 99}) ZVPListSwapProfile(type);
  EXPECT_EQ(ReadFile(paths_.current()), "current");
  EXPECT_EQ(ReadFile(paths_.previous()), "previous");
  ZVPListSwapProfile(1);
  EXPECT_FALSE(Exists(paths_.previous()));
  EXPECT_EQ(ReadFile(paths_.current()), "current");
  EXPECT_EQ(CurrentUmask(), 002u);
}

TEST_F(FileAdminTest, NullOrOverlongPathsTouchNothing) {
  WriteFile(paths_.current(), "current");
  WriteFile(paths_.previous(), "previous");
  char* const current = ZV_PLIST_PROFILE_PATH;
  char* const previous = ZV_PLIST_PROFILE_PREV_PATH;
  std::string overlong = paths_.dir().path() + "/";
  overlong += std::string(255 - overlong.size(), 'x');

  ZV_PLIST_PROFILE_PREV_PATH = nullptr;  // current alone is not enough to swap
  for (int type : {0, 1, 2}) ZVPListSwapProfile(type);
  EXPECT_EQ(ZVPListRemove(2), 0);
  ZV_PLIST_PROFILE_PREV_PATH = overlong.data();
  for (int type : {0, 1, 2}) ZVPListSwapProfile(type);
  EXPECT_EQ(ZVPListRemove(2), 0);
  EXPECT_EQ(ReadFile(paths_.current()), "current");

  for (char* bad : {static_cast<char*>(nullptr), overlong.data()}) {
    ZV_PLIST_PROFILE_PATH = bad;
    ZV_PLIST_PROFILE_PREV_PATH = previous;
    umask(077);
    EXPECT_EQ(ZVPListIsAdminProfile(), 0);
    EXPECT_EQ(CurrentUmask(), 002u);
    EXPECT_EQ(ZVPListExistProfile(), 0);
    EXPECT_EQ(ZVPListRemove(2), 0);
    for (int type : {0, 1, 2}) ZVPListSwapProfile(type);
  }
  EXPECT_FALSE(Exists(overlong));
  EXPECT_FALSE(Exists(overlong.substr(0, 254)));
  EXPECT_EQ(ReadFile(paths_.previous()), "previous");
  ZV_PLIST_PROFILE_PATH = current;
  EXPECT_EQ(ReadFile(paths_.current()), "current");
}

// The names in `dir`, with the targets of symbolic links ("a -> b").
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename();
    if (entry.is_symlink()) name += " -> " + std::filesystem::read_symlink(entry.path()).string();
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WriteAccessTest, AnswersAsAWriteWouldTurnOutAndLeavesNothingBehind) {
  // Run as another user, in an open folder (0777) and a closed one (0555);
  // the read-only file (0444) refuses its owner too.
  struct Case {
    const char* name;
    std::string path;  // below the test's folder
    bool writable;
  };
  zvtest::TempDir dir;
  const std::string open = dir.File("open"), closed = dir.File("closed");
  ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
  ASSERT_EQ(mkdir(closed.c_str(), 0777), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  WriteFile(closed + "/writable", "w");
  WriteFile(closed + "/read-only", "r");
  ASSERT_EQ(chmod((closed + "/writable").c_str(), 0666), 0);
  ASSERT_EQ(chmod((closed + "/read-only").c_str(), 0444), 0);
  ASSERT_EQ(symlink("../closed/writable", (open + "/to-writable").c_str()), 0);
  ASSERT_EQ(symlink("missing", (open + "/dangling").c_str()), 0);
  ASSERT_EQ(symlink("../closed/missing", (open + "/dangling-into-closed").c_str()), 0);
  ASSERT_EQ(symlink("loop", (open + "/loop").c_str()), 0);
  ASSERT_EQ(chmod(closed.c_str(), 0555), 0);
  const Case cases[] = {
      {"missing in an open folder", open + "/new", true},
      {"missing in a closed folder", closed + "/new", false},
      {"writable file in a closed folder", closed + "/writable", true},
      {"read-only file", closed + "/read-only", false},
      {"link to a writable file", open + "/to-writable", true},
      {"dangling link into an open folder", open + "/dangling", true},
      {"dangling link into a closed folder", open + "/dangling-into-closed", false},
      {"link loop", open + "/loop", false},
      {"trailing slash", open + "/new/", false},
      {"name too long", open + "/" + std::string(NAME_MAX + 1, 'n'), false},
      {"empty path", "", false},
  };
  const std::vector<std::string> open_before = Listing(open), closed_before = Listing(closed);
  for (const Case& c : cases) {
    const int answer = zvtest::RunAsOtherUser([&] { return zv::TestWriteAccess(c.path.c_str()) ? 1 : 0; });
    EXPECT_EQ(answer, c.writable ? 1 : 0) << c.name;
  }
  chmod(closed.c_str(), 0755);
  EXPECT_EQ(Listing(open), open_before);
  EXPECT_EQ(Listing(closed), closed_before);
  EXPECT_EQ(ReadFile(closed + "/writable"), "w");
}

TEST(WriteAccessTest, NeverRemovesAFileThatAnotherWriterPutsInPlace) {
  zvtest::TempDir dir;
  const std::string path = dir.File("list.plist"), staged = dir.File("staged");
  std::atomic<bool> done{false};
  std::thread tester([&] {
    while (!done) zv::TestWriteAccess(path.c_str());
  });
  int lost = 0;
  for (int round = 0; round < 10000; ++round) {
    WriteFile(staged, "renamed");
    ASSERT_EQ(rename(staged.c_str(), path.c_str()), 0);
    if (!Exists(path)) ++lost;
    unlink(path.c_str());
  }
  done = true;
  tester.join();
  EXPECT_EQ(lost, 0);
}

}  // namespace
