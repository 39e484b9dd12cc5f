// SPDX-License-Identifier: MIT
// The name a profile list is locked by: every name of one list gives the
// same, and different lists different ones; two lists are locked in the
// order of their names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "store/list_lock.h"
#include "support/temp_dir.h"

namespace {

TEST(ProfileListLockNameTest, EveryNameOfOneListSharesOneLock) {
  zvtest::TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("prefs").c_str(), 0700), 0);
  zvtest::WriteFile(dir.File("prefs/a"), "list");
  ASSERT_EQ(::symlink("a", dir.File("prefs/link").c_str()), 0);
  ASSERT_EQ(::symlink("link", dir.File("prefs/chain").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("prefs").c_str(), dir.File("linked-folder").c_str()), 0);
  ASSERT_EQ(::symlink("missing", dir.File("prefs/dangling").c_str()), 0);
  const std::string a = zv::ProfileListLockName(dir.File("prefs/a"));
  const struct {
    const char* name;
    std::string lock_of;  // the name whose lock it must share
  } same[] = {
      {"prefs/link", "prefs/a"},         {"prefs/chain", "prefs/a"},     {"prefs/./a", "prefs/a"},
      {"prefs/../prefs/a", "prefs/a"},   {"linked-folder/a", "prefs/a"}, {"prefs/dangling", "prefs/missing"},
  };
  for (const auto& c : same) {
    EXPECT_EQ(zv::ProfileListLockName(dir.File(c.name)), zv::ProfileListLockName(dir.File(c.lock_of))) << c.name;
  }
  EXPECT_NE(zv::ProfileListLockName(dir.File("prefs/b")), a);
  EXPECT_NE(zv::ProfileListLockName(dir.File("prefs/missing")), a);
}

// A writer of lists b and a waits for a before it takes b, so one that
// holds b and waits for a (the other order) cannot exist: b stays free.
TEST(ProfileListLocksTest, TwoListsAreTakenInTheOrderOfTheirNames) {
  zvtest::TempDir dir;
  const std::string a = dir.File("a"), b = dir.File("b");
  auto hold_a = std::make_unique<zv::ProfileListLock>(a, zv::ProfileListLock::Mode::kExclusive);
  std::thread both([&] { zv::ProfileListLocks locks(b.c_str(), a.c_str()); });
  while (zv::ProfileListLockWaiters(a) == 0) std::this_thread::yield();
  std::atomic<bool> b_taken{false};
  std::thread other([&] {
    zv::ProfileListLock lock(b, zv::ProfileListLock::Mode::kExclusive);
    b_taken = true;
  });
  while (!b_taken && zv::ProfileListLockWaiters(b) == 0) std::this_thread::yield();
  EXPECT_TRUE(b_taken);
  hold_a.reset();
  both.join();
  other.join();
}

}  // namespace
