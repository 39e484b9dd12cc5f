// SPDX-License-Identifier: MIT
// Whole-file reads: content, refusals without blocking, and the size bound.
#include "platform/whole_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.h"

namespace {

using zvtest::TempDir;

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

TEST(ReadWholeFileTest, FifoAndDeviceAreRefusedWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  std::string data, error;
  EXPECT_FALSE(zv::ReadWholeFile(fifo, &data, &error));
  EXPECT_FALSE(zv::ReadWholeFile("/dev/zero", &data, &error));
  EXPECT_NE(error.find("/dev/zero"), std::string::npos) << error;
}

TEST(ReadWholeFileTest, FilesBeyondTheBoundAreRefusedWithoutReadingThem) {
  // Sparse files: only the refused sizes would need memory they announce.
  struct Case {
    off_t size;
    bool read;
  };
  const Case cases[] = {
      {0, true},
      {static_cast<off_t>(zv::kMaxWholeFileBytes), true},
      {static_cast<off_t>(zv::kMaxWholeFileBytes) + 1, false},
      {off_t{15} * 1000 * 1000 * 1000 * 1000, false},  // 15 TB
  };
  TempDir dir;
  const std::string path = dir.File("sparse");
  for (const Case& c : cases) {
    zvtest::WriteFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), c.size), 0) << c.size;
    std::string data = "stale", error;
    EXPECT_EQ(zv::ReadWholeFile(path, &data, &error), c.read) << c.size;
    if (c.read) {
      EXPECT_EQ(data.size(), static_cast<std::size_t>(c.size));
    } else {
      EXPECT_TRUE(data.empty()) << c.size;
      EXPECT_NE(error.find("too large"), std::string::npos) << error;
    }
  }
}

}  // namespace
