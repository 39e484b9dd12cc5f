// SPDX-License-Identifier: MIT
// The default folder of the profile lists (the XDG rule) and its creation:
// private, with missing parents, never over something that is not a folder.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/preferences_folder.h"
#include "support/other_user.h"
#include "support/scoped_variable.h"
#include "support/temp_dir.h"

namespace {

using zvtest::ScopedVariable;

std::string PasswordHome() {
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr && entry->pw_dir[0] == '/' ? entry->pw_dir : "/";
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(DefaultPreferencesDirectoryTest, FollowsTheXdgRule) {
#ifdef ZV_PREFERENCES_DIR
  GTEST_SKIP() << "this build fixes the folder";
#endif
  const std::string home_config = PasswordHome() + (PasswordHome() == "/" ? "" : "/") + ".config/zvxpc/";
  const struct {
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::string expected;
  } cases[] = {
      {"/xdg", "/home/a", "/xdg/zvxpc/"},
      {"/xdg/", "/home/a", "/xdg/zvxpc/"},
      {std::nullopt, "/home/a", "/home/a/.config/zvxpc/"},
      {"", "/home/a/", "/home/a/.config/zvxpc/"},
      {"relative/xdg", "/home/a", "/home/a/.config/zvxpc/"},
      {std::nullopt, std::nullopt, home_config},
      {std::nullopt, "relative/home", home_config},
  };
  for (const auto& c : cases) {
    ScopedVariable xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedVariable home("HOME", c.home);
    EXPECT_EQ(zv::DefaultPreferencesDirectory(), c.expected)
        << "XDG_CONFIG_HOME=" << c.xdg.value_or("(unset)") << " HOME=" << c.home.value_or("(unset)");
  }
}

TEST(CreatePreferencesDirectoryTest, CreatesMissingFoldersPrivately) {
  zvtest::TempDir dir;
  const std::string parent = dir.File("config");
  const std::string folder = parent + "/zvxpc/";
  std::string error;
  ASSERT_TRUE(zv::CreatePreferencesDirectory(folder, &error)) << error;
  EXPECT_EQ(ModeOf(parent), S_IFDIR | 0700);
  EXPECT_EQ(ModeOf(folder), S_IFDIR | 0700);
  // A folder that exists keeps its mode.
  ASSERT_EQ(::chmod(folder.c_str(), 0750), 0);
  EXPECT_TRUE(zv::CreatePreferencesDirectory(folder, &error)) << error;
  EXPECT_EQ(ModeOf(folder), S_IFDIR | 0750);
}

TEST(CreatePreferencesDirectoryTest, RefusesWhatItCannotMake) {
  zvtest::TempDir dir;
  const std::string file = dir.File("file");
  ASSERT_EQ(::close(::creat(file.c_str(), 0644)), 0);
  const std::string locked = dir.File("locked");
  ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
  const struct {
    std::string folder;
    std::string error;
    bool as_other_user;
  } cases[] = {
      {file + "/", "mkdir(" + file + "): Not a directory", false},
      {file + "/zvxpc/sub/", "mkdir(" + file + "): Not a directory", false},
      {locked + "/zvxpc/", "mkdir(" + locked + "/zvxpc): Permission denied", true},
  };
  for (const auto& c : cases) {
    if (!c.as_other_user) {
      std::string error;
      EXPECT_FALSE(zv::CreatePreferencesDirectory(c.folder, &error)) << c.folder;
      EXPECT_EQ(error, c.error);
      continue;
    }
    const int outcome = zvtest::RunAsOtherUser([&c] {
      std::string error;
      if (zv::CreatePreferencesDirectory(c.folder, &error)) return 1;
      return error == c.error ? 0 : 2;
    });
    EXPECT_EQ(outcome, 0) << c.folder;
  }
}

}  // namespace
