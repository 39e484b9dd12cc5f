// SPDX-License-Identifier: MIT
// Bringing a profile list file up to date in the service: nothing written
// when nothing changes, the list's lock shared by every name of the list,
// and a list that a client writes during the update never lost or kept
// aside.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>
#include <vector>
#include <cstdio>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "list_update/list_cache.h"
#include "list_update/list_update.h"
#include "platform/atomic_file.h"
#include "report/debug_sink.h"
#include "store/list_lock.h"
#include "store/profile_plist_file.h"
#include "support/temp_dir.h"
#include "walk/walk_fixture.h"

namespace {

using zvtest::Profile;
using zvtest::SlotsNamed;

// What the hook does inside the update, while it holds the list's lock.
std::function<void(const char*)>& Inside() {
  static std::function<void(const char*)> inside;
  return inside;
}

void CallInside(const char* path) {
  if (Inside()) Inside()(path);
}

class ListUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_ = dir_.File("u-m-profile.plist");
    spool_ = std::make_unique<ProfileList>();
    spool_->slots[0] = Profile("WALK.ICC", 4, 0);
    spool_->iNum = 1;
    zv::SetListUpdateHook(CallInside);
  }
  void TearDown() override {
    zv::SetListUpdateHook(nullptr);
    Inside() = nullptr;
  }

  // A list with one RGB entry `name` in state `in_menu`, written to `path`.
  static void WriteList(const std::string& path, const char* name, int in_menu) {
    auto lists = std::make_unique<zv::ProfileLists>();
    lists->rgb.slots[0] = Profile(name, 4, in_menu);
    lists->rgb.iNum = 1;
    std::string error;
    ASSERT_TRUE(zv::WriteProfileListBytes(path.c_str(), zv::ProfileListBytes(*lists), &error)) << error;
  }

  // The RGB file names of the list, "unreadable" when it cannot be read.
  std::vector<std::string> RgbNames() {
    auto lists = std::make_unique<zv::ProfileLists>();
    std::string error;
    if (!zv::ReadProfileListFile(list_.c_str(), &lists->rgb, &lists->sim, &lists->dst, &error)) return {"unreadable"};
    std::vector<std::string> names;
    for (int slot = 0; slot < lists->rgb.iNum; ++slot) names.emplace_back(lists->rgb.slots[slot].FileName);
    return names;
  }

  zvtest::TempDir dir_;
  std::string list_;
  std::unique_ptr<ProfileList> spool_;
};

TEST_F(ListUpdateTest, ANewListIsWrittenAndTheSameListAgainIsNotWrittenAtAll) {
  EXPECT_EQ(zv::UpdateProfileListFile(list_.c_str(), 0, *spool_), zv::ListUpdateOutcome::kWritten);
  struct stat before {};
  ASSERT_EQ(::stat(list_.c_str(), &before), 0);
  // The same walk again: the same bytes. No new file, no write, and no
  // temporary either (the folder is left as it was).
  struct stat folder_before {};
  ASSERT_EQ(::stat(dir_.path().c_str(), &folder_before), 0);
  EXPECT_EQ(zv::UpdateProfileListFile(list_.c_str(), 0, *spool_), zv::ListUpdateOutcome::kUnchanged);
  struct stat after {};
  struct stat folder_after {};
  ASSERT_EQ(::stat(list_.c_str(), &after), 0);
  ASSERT_EQ(::stat(dir_.path().c_str(), &folder_after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(folder_after.st_mtim.tv_nsec, folder_before.st_mtim.tv_nsec);
  // A third time the list comes from the service's cache, bytes and all.
  EXPECT_EQ(zv::UpdateProfileListFile(list_.c_str(), 0, *spool_), zv::ListUpdateOutcome::kUnchanged);
  ASSERT_EQ(::stat(list_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  // The same lists in a file one byte apart (a space for a tab between
  // two elements): saved, as a new file, in the service's own bytes.
  const std::string canonical = zvtest::ReadFile(list_);
  std::string one_byte_apart = canonical;
  one_byte_apart[one_byte_apart.find('\t')] = ' ';
  zvtest::WriteFile(list_, one_byte_apart);
  ASSERT_EQ(::stat(list_.c_str(), &before), 0);
  EXPECT_EQ(zv::UpdateProfileListFile(list_.c_str(), 0, *spool_), zv::ListUpdateOutcome::kWritten);
  ASSERT_EQ(::stat(list_.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(zvtest::ReadFile(list_), canonical);
}

// The cache holds the kCachedLists lists used most recently: one more
// drops the one remembered longest ago, and each remembered since is found.
TEST(ListCacheTest, HoldsTheMostRecentListsAndDropsTheOldest) {
  struct stat status {};
  status.st_ino = 1;
  auto list = std::make_unique<zv::CachedList>();
  list->bytes = "list";
  for (std::size_t i = 0; i <= zv::kCachedLists; ++i) zv::RememberList("cached-" + std::to_string(i), status, *list);
  EXPECT_EQ(zv::FindCachedList("cached-0", status), nullptr);
  for (std::size_t i = 1; i <= zv::kCachedLists; ++i) {
    const std::unique_ptr<zv::CachedList> found = zv::FindCachedList("cached-" + std::to_string(i), status);
    ASSERT_NE(found, nullptr) << i;
    EXPECT_EQ(found->bytes, "list");
  }
}

std::vector<std::string> g_list_notes;

void KeepListNote(zv::WalkNote note, std::string_view text) {
  if (note == zv::WalkNote::kList) g_list_notes.emplace_back(text);
}

int FailingFlush(int) {
  errno = EIO;
  return -1;
}

TEST_F(ListUpdateTest, AListWrittenWhoseFolderCouldNotBeFlushedIsToldSoNotAsUnwritten) {
  zv::SetWalkNoteSink(KeepListNote);
  zv::SetFolderFlushForTesting(FailingFlush);
  const zv::ListUpdateOutcome outcome = zv::UpdateProfileListFile(list_.c_str(), 0, *spool_);
  zv::SetFolderFlushForTesting(nullptr);
  zv::SetWalkNoteSink(nullptr);
  EXPECT_EQ(outcome, zv::ListUpdateOutcome::kWrittenUnflushed);
  EXPECT_EQ(RgbNames(), std::vector<std::string>{"WALK.ICC"});
  ASSERT_EQ(g_list_notes.size(), 1u);
  EXPECT_EQ(g_list_notes[0].rfind("the profile list '" + list_ + "': the new content is in place, but", 0), 0u)
      << g_list_notes[0];
}

// The service keeps what it read of a list; a file written in place since,
// with its size and its time kept, is read again.
TEST_F(ListUpdateTest, AListChangedInPlaceWithItsSizeAndTimeKeptIsReadAgain) {
  WriteList(list_, "AAAA.ICC", ZV_INMENU_CLIENT);
  EXPECT_EQ(zv::UpdateProfileListFile(list_.c_str(), 0, *spool_), zv::ListUpdateOutcome::kWritten);
  EXPECT_EQ(zv::UpdateProfileListFile(list_.c_str(), 0, *spool_), zv::ListUpdateOutcome::kUnchanged);
  std::string in_place = zvtest::ReadFile(list_);
  in_place.replace(in_place.find("AAAA.ICC"), 8, "BBBB.ICC");
  struct stat before {};
  ASSERT_EQ(::stat(list_.c_str(), &before), 0);
  const int fd = ::open(list_.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_EQ(::pwrite(fd, in_place.data(), in_place.size(), 0), static_cast<ssize_t>(in_place.size()));
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::futimens(fd, times), 0);
  ::close(fd);
  // A walk that brings a new row writes the list: from what it holds now.
  spool_->slots[1] = Profile("NEW.ICC", 4, 0);
  spool_->iNum = 2;
  EXPECT_EQ(zv::UpdateProfileListFile(list_.c_str(), 0, *spool_), zv::ListUpdateOutcome::kWritten);
  EXPECT_EQ(RgbNames(), (std::vector<std::string>{"BBBB.ICC", "WALK.ICC", "NEW.ICC"}));
}

TEST_F(ListUpdateTest, AListWrittenByAClientDuringTheUpdateIsMergedNeverKeptAside) {
  const struct {
    const char* what;
    const char* there_before;  // nullptr: no list; else its bytes
  } cases[] = {
      {"absent when the update read it", nullptr},
      {"unreadable when the update read it", "<plist><dict><key>RGB</key>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(list_.c_str());
    if (c.there_before != nullptr) zvtest::WriteFile(list_, c.there_before);
    bool written = false;
    Inside() = [this, &written](const char*) {
      if (written) return;
      written = true;
      WriteList(list_, "CLIENT.ICC", ZV_INMENU_CLIENT);
    };
    zv::UpdateProfileListFile(list_.c_str(), 0, *spool_);
    EXPECT_EQ(RgbNames(), (std::vector<std::string>{"CLIENT.ICC", "WALK.ICC"}));
    EXPECT_FALSE(zvtest::Exists(list_ + ".unreadable"));
  }
}

TEST_F(ListUpdateTest, TwoNamesOfOneListShareItsLock) {
  // V's list is a link to U's.
  const std::string other_name = dir_.File("v-m-profile.plist");
  ASSERT_EQ(::symlink("u-m-profile.plist", other_name.c_str()), 0);
  WriteList(list_, "FIRST.ICC", ZV_INMENU_REPORTED);
  auto second_spool = std::make_unique<ProfileList>();
  second_spool->slots[0] = Profile("SECOND.ICC", 4, 0);
  second_spool->iNum = 1;

  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> second_done{false};
  std::atomic<bool> second_waited{false};
  // The first update is held inside the lock until the second one either
  // waits for the lock (as it must) or gets inside too (and the lock is
  // broken), for 10 s at most.
  Inside() = [&](const char* path) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    if (std::string(path) == list_) {
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!overlapped && !second_done && std::chrono::steady_clock::now() < give_up) {
        if (zv::ProfileListLockWaiters(list_) > 0) {
          second_waited = true;
          break;
        }
        std::this_thread::yield();
      }
    }
    inside.fetch_sub(1);
  };
  std::thread first([&] { zv::UpdateProfileListFile(list_.c_str(), 0, *spool_); });
  while (inside.load() == 0) std::this_thread::yield();
  std::thread second([&] {
    zv::UpdateProfileListFile(other_name.c_str(), 0, *second_spool);
    second_done = true;
  });
  first.join();
  second.join();
  EXPECT_FALSE(overlapped);
  EXPECT_TRUE(second_waited);  // for the lock of the list, not of the name
  // Neither update lost the other's rows.
  const std::vector<std::string> names = RgbNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "WALK.ICC"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "SECOND.ICC"), names.end());
}

}  // namespace
