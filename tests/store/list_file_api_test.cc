// SPDX-License-Identifier: MIT
// The thread-safe C interface by path: the list's path by the service's
// naming rule and its limits, the reader and writer with their reasons, and
// several threads reading and writing one list and different lists at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "store/zvplist.h"
#include "store_fixture.h"

namespace {

// The path, or "errno:N".
std::string PathOf(const char* folder, const std::string& user, const std::string& model) {
  char* path = zvplist_path(folder, user.c_str(), model.c_str());
  if (path == nullptr) return "errno:" + std::to_string(errno);
  std::string result = path;
  std::free(path);
  return result;
}

TEST(ListFileApiTest, PathFollowsTheServiceNamingRule) {
  // "/p/" and "-profile.spool.plist" leave 231 bytes for the user, the
  // hyphen and the model within the 255 bytes of the longest path.
  const std::string fits(115, 'u'), fits_with_one_more(116, 'u'), one_too_many(117, 'u');
  struct Case {
    const char* folder;
    std::string user, model, expected;
  };
  const Case cases[] = {
      {"/p", "alice", "PX-100", "/p/alice-PX-100-profile.plist"},
      {"/p/", "", "", "/p/--profile.plist"},
      {"/p/", fits_with_one_more, fits, "/p/" + fits_with_one_more + "-" + fits + "-profile.plist"},
      {"/p/", one_too_many, fits, "errno:" + std::to_string(ENAMETOOLONG)},
      {"/p/", "a/b", "M", "errno:" + std::to_string(EINVAL)},
      {"/p/", "U", "..", "errno:" + std::to_string(EINVAL)},
      {"/p/", ".", "M", "errno:" + std::to_string(EINVAL)},
  };
  for (const Case& c : cases) EXPECT_EQ(PathOf(c.folder, c.user, c.model), c.expected) << c.user << " " << c.model;

  ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(PathOf(nullptr, "u", "m"), "/somewhere/config/zvxpc/u-m-profile.plist");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(zvplist_path("/p/", nullptr, "m"), nullptr);
  EXPECT_EQ(errno, EINVAL);
}

TEST(ListFileApiTest, ReadAndWriteGiveOneLineReasons) {
  zvtest::TempDir dir;
  const std::string path = dir.File("u-m-profile.plist");
  auto rgb = zvtest::PackedList(3, 11), sim = zvtest::PackedList(1, 22), dst = zvtest::PackedList(0, 0);
  char* error = reinterpret_cast<char*>(1);
  ASSERT_EQ(zvplist_write(path.c_str(), rgb.get(), sim.get(), dst.get(), &error), 0);
  EXPECT_EQ(error, nullptr);

  // The caller's lists need no clearing: they are replaced whole.
  auto back_rgb = zvtest::PackedList(9, 99), back_sim = zvtest::PackedList(9, 98), back_dst = zvtest::NewList();
  ASSERT_EQ(zvplist_read(path.c_str(), back_rgb.get(), back_sim.get(), back_dst.get(), nullptr), 0);
  std::string where;
  EXPECT_TRUE(zvtest::SameList(*back_rgb, *rgb, &where)) << where;
  EXPECT_TRUE(zvtest::SameList(*back_sim, *sim, &where)) << where;

  const std::string missing = dir.File("none.plist");
  EXPECT_EQ(zvplist_read(missing.c_str(), back_rgb.get(), back_sim.get(), back_dst.get(), &error), -1);
  ASSERT_NE(error, nullptr);  // which file gives which reason is the file reader's test
  EXPECT_NE(std::string(error).find("No such file or directory"), std::string::npos) << error;
  EXPECT_EQ(std::string(error).find('\n'), std::string::npos) << error;
  std::free(error);
  EXPECT_TRUE(zvtest::SameList(*back_rgb, *rgb, &where)) << "a failed read changed the list: " << where;
}

// Readers of one list see one of the two lists a writer alternates, never
// a mixture; a list beside it is written and read at the same time.
TEST(ListFileApiTest, ThreadsOnOneListSeeOldOrNew) {
  zvtest::TempDir dir;
  const std::string shared = dir.File("shared.plist");
  const auto a = zvtest::PackedList(20, 1), b = zvtest::PackedList(40, 2), empty = zvtest::NewList();
  ASSERT_EQ(zvplist_write(shared.c_str(), a.get(), empty.get(), empty.get(), nullptr), 0);
  std::atomic<bool> done{false};
  std::atomic<int> mixed{0}, failed{0};
  std::thread writer([&] {
    for (int i = 0; i < 6; ++i) {
      if (zvplist_write(shared.c_str(), i % 2 ? a.get() : b.get(), empty.get(), empty.get(), nullptr) != 0) ++failed;
    }
    done = true;
  });
  auto read_until_done = [&](const std::string& path, const ProfileList& other) {
    auto rgb = zvtest::NewList(), sim = zvtest::NewList(), dst = zvtest::NewList();
    std::string where;
    do {
      if (zvplist_read(path.c_str(), rgb.get(), sim.get(), dst.get(), nullptr) != 0) {
        ++failed;
      } else if (!zvtest::SameList(*rgb, *a, &where) && !zvtest::SameList(*rgb, other, &where)) {
        ++mixed;
      }
    } while (!done);
  };
  std::thread reader1(read_until_done, shared, std::cref(*b));
  std::thread reader2(read_until_done, shared, std::cref(*b));
  const std::string beside = dir.File("beside.plist");
  std::thread other_list([&] {
    for (int i = 0; i < 2; ++i) {
      if (zvplist_write(beside.c_str(), b.get(), empty.get(), empty.get(), nullptr) != 0) ++failed;
    }
  });
  writer.join();
  reader1.join();
  reader2.join();
  other_list.join();
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(failed, 0);
}

}  // namespace
