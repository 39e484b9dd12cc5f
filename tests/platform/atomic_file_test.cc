// Whole-file replacement: content, permission bits, refusals and the
// in-place fallback; whole-file reads.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/other_user.h"
#include "support/temp_dir.h"

namespace {

using zvtest::TempDir;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::size_t EntriesIn(const std::string& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(ReplaceFileContentsTest, CreatesNewFileUnderTheCreationMask) {
  TempDir dir;
  const std::string path = dir.File("new.plist");
  const mode_t old_mask = umask(002);
  std::string error;
  EXPECT_TRUE(zv::ReplaceFileContents(path, "payload", &error)) << error;
  umask(old_mask);
  EXPECT_EQ(zvtest::ReadFile(path), "payload");
  EXPECT_EQ(ModeOf(path), 0664u);
  EXPECT_EQ(EntriesIn(dir.path()), 1u) << "no temporary file may stay behind";
}

TEST(ReplaceFileContentsTest, ReplacesWholeContentAndKeepsPermissionBits) {
  TempDir dir;
  const std::string path = dir.File("old.plist");
  zvtest::WriteFile(path, std::string(100000, 'x'));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  std::string error;
  EXPECT_TRUE(zv::ReplaceFileContents(path, "short", &error)) << error;
  EXPECT_EQ(zvtest::ReadFile(path), "short");
  EXPECT_EQ(ModeOf(path), 0640u);
}

TEST(ReplaceFileContentsTest, EmptyContentGivesEmptyFile) {
  TempDir dir;
  const std::string path = dir.File("empty");
  zvtest::WriteFile(path, "old");
  std::string error;
  EXPECT_TRUE(zv::ReplaceFileContents(path, "", &error)) << error;
  EXPECT_TRUE(zvtest::Exists(path));
  EXPECT_EQ(zvtest::ReadFile(path), "");
}

TEST(ReplaceFileContentsTest, MissingDirectoryFailsWithMessage) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(zv::ReplaceFileContents(dir.File("no/such/dir/file"), "x", &error));
  EXPECT_NE(error.find("open("), std::string::npos) << error;
  EXPECT_FALSE(zvtest::Exists(dir.File("no")));
}

TEST(ReplaceFileContentsTest, ReadOnlyDirectoryFallsBackToWritableFile) {
  TempDir dir;
  const std::string sub = dir.File("locked");
  ASSERT_EQ(mkdir(sub.c_str(), 0777), 0);
  const std::string path = sub + "/profile.plist";
  zvtest::WriteFile(path, "old content");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
  const int result = zvtest::RunAsOtherUser([&] {
    std::string error;
    return zv::ReplaceFileContents(path, "new", &error) ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(zvtest::ReadFile(path), "new");
  EXPECT_EQ(EntriesIn(sub), 1u);
  chmod(sub.c_str(), 0777);
}

TEST(ReplaceFileContentsTest, ReadOnlyDirectoryAndFileRefuseAndKeepContent) {
  TempDir dir;
  const std::string sub = dir.File("locked");
  ASSERT_EQ(mkdir(sub.c_str(), 0777), 0);
  const std::string path = sub + "/profile.plist";
  zvtest::WriteFile(path, "old content");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
  const int result = zvtest::RunAsOtherUser([&] {
    std::string error;
    return zv::ReplaceFileContents(path, "new", &error) ? 0 : 1;
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(zvtest::ReadFile(path), "old content");
  chmod(sub.c_str(), 0777);
}

TEST(ReadWholeFileTest, ReadsLargeFilesWhole) {
  TempDir dir;
  std::string content(300000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  zvtest::WriteFile(dir.File("big"), content);
  std::string data, error;
  ASSERT_TRUE(zv::ReadWholeFile(dir.File("big"), &data, &error)) << error;
  EXPECT_EQ(data, content);
}

TEST(ReadWholeFileTest, MissingFileAndDirectoryFail) {
  TempDir dir;
  std::string data, error;
  EXPECT_FALSE(zv::ReadWholeFile(dir.File("missing"), &data, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_FALSE(zv::ReadWholeFile(dir.path(), &data, &error));
}

}  // namespace

namespace {

TEST(ReadWholeFileTest, FifoAndDeviceAreRefusedWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  std::string data, error;
  EXPECT_FALSE(zv::ReadWholeFile(fifo, &data, &error));
  EXPECT_FALSE(zv::ReadWholeFile("/dev/zero", &data, &error));
  EXPECT_NE(error.find("/dev/zero"), std::string::npos) << error;
}

}  // namespace
