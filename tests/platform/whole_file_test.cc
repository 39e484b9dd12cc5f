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
  EXPECT_EQ(error, "open(" + dir.File("missing") + "): No such file or directory");
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

namespace {

TEST(CheckUtf8FileTest, CharactersAcrossChunksAndTheEnd) {
  // A four-byte character straddles each possible place of the first
  // chunk boundary; bytes that are malformed stay so across it.
  const std::string four = "\xF0\x9F\x98\x80";
  const std::size_t chunk = zv::kFileChunkBytes;
  const struct {
    const char* name;
    std::string text;
    zv::Utf8FileCheck check;
  } cases[] = {
      {"empty", "", zv::Utf8FileCheck::kValid},
      {"ends one byte into the character", std::string(chunk - 1, 'a') + four, zv::Utf8FileCheck::kValid},
      {"ends two bytes into it", std::string(chunk - 2, 'a') + four + "b", zv::Utf8FileCheck::kValid},
      {"ends three bytes into it", std::string(chunk - 3, 'a') + four + four, zv::Utf8FileCheck::kValid},
      {"zero bytes are text", std::string(2 * chunk, '\0'), zv::Utf8FileCheck::kValid},
      {"character cut off by the end", std::string(chunk - 1, 'a') + four.substr(0, 3), zv::Utf8FileCheck::kInvalid},
      {"stray continuation after the boundary", std::string(chunk, 'a') + "\x80", zv::Utf8FileCheck::kInvalid},
      {"lead byte before the boundary, no continuation", std::string(chunk - 1, 'a') + "\xF0" + "abc",
       zv::Utf8FileCheck::kInvalid},
      {"overlong form at the boundary", std::string(chunk - 1, 'a') + "\xC0\xAF", zv::Utf8FileCheck::kInvalid},
  };
  TempDir dir;
  for (const auto& c : cases) {
    zvtest::WriteFile(dir.File("text"), c.text);
    const int fd = zv::OpenRegularFileForReading(dir.File("text").c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(zv::CheckUtf8File(fd), c.check) << c.name;
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0) << c.name;
    ::close(fd);
  }
}

}  // namespace
