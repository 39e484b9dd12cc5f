// SPDX-License-Identifier: MIT
// Fixed fields and UTF-8 helpers: the rules every name and path copy
// relies on; the one-line text of log lines and terminal output; and the
// errno texts of every message.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/fixed_field.h"
#include "platform/one_line_text.h"
#include "platform/posix_io.h"
#include "platform/utf8.h"

namespace {

TEST(FixedFieldTest, ShortTextIsZeroPadded) {
  char field[8];
  std::memset(field, 'x', sizeof field);
  EXPECT_TRUE(zv::CopyToField(field, "abc"));
  EXPECT_EQ(std::string(field, sizeof field), std::string("abc\0\0\0\0\0", 8));
}

// The field sits between two guards in one record, whose members lie side
// by side, so that a byte written outside the field lands in a guard.
TEST(FixedFieldTest, LongTextIsCutAndTerminated) {
  struct {
    char before[4];
    char field[4];
    char after[4];
  } record;
  static_assert(sizeof record == 12, "the guards touch the field");
  std::memset(&record, 'G', sizeof record);
  EXPECT_FALSE(zv::CopyToField(record.field, "abcdef"));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record), sizeof record),
            std::string("GGGGabc\0GGGG", 12));
}

// A text ends at its first zero byte; a field without one reads whole.
TEST(FixedFieldTest, TextEndsAtItsFirstZeroByteOrTheFieldsEnd) {
  char field[8];
  EXPECT_TRUE(zv::CopyToField(field, std::string_view("ab\0cd", 5)));
  EXPECT_EQ(zv::FieldText(field), "ab");
  const char full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(zv::FieldText(full), "abcd");
}

TEST(Utf8Test, AcceptsWellFormedText) {
  EXPECT_TRUE(zv::IsValidUtf8(""));
  EXPECT_TRUE(zv::IsValidUtf8("plain ascii"));
  EXPECT_TRUE(zv::IsValidUtf8("K\xC3\xA4se \xE2\x82\xAC \xF0\x9F\x96\xA8"));
}

TEST(Utf8Test, RejectsMalformedText) {
  const char* bad[] = {
      "\x80",              // lone continuation byte
      "\xC3",              // truncated two-byte character
      "\xC0\xAF",          // overlong slash
      "\xE0\x80\xAF",      // overlong three-byte form
      "\xED\xA0\x80",      // UTF-16 surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xFF",
  };
  for (const char* text : bad) EXPECT_FALSE(zv::IsValidUtf8(text)) << text;
}

// A prefix never ends inside a character; stray bytes count singly.
TEST(Utf8Test, PrefixNeverEndsInsideACharacter) {
  const std::string text = "abc\xE2\x82\xAC";  // "abc" then a 3-byte euro sign
  EXPECT_EQ(zv::Utf8PrefixLength(text, 6), 6u);
  EXPECT_EQ(zv::Utf8PrefixLength(text, 5), 3u);
  EXPECT_EQ(zv::Utf8PrefixLength(text, 4), 3u);
  EXPECT_EQ(zv::Utf8PrefixLength(text, 3), 3u);
  EXPECT_EQ(zv::Utf8PrefixLength(text, 100), 6u);
  EXPECT_EQ(zv::Utf8PrefixLength("a\xFF\xFE" "b", 3), 3u);
}

// Control characters and DEL become \xNN, a backslash doubles (so that
// "\x0A" typed by someone else stays apart from a line feed), and UTF-8
// stays as it is.
TEST(OneLineTextTest, KeepsTheTextOnOneLineAndUnambiguous) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain /path", "plain /path"},
      {std::string("a\nb\tc\0d", 7), "a\\x0Ab\\x09c\\x00d"},
      {"\x1F\x7F\x80", "\\x1F\\x7F\x80"},
      {"back\\slash \\x0A", "back\\\\slash \\\\x0A"},
      {"Gl\xC3\xA4nzend", "Gl\xC3\xA4nzend"},
  };
  for (const auto& [text, line] : cases) EXPECT_EQ(zv::OneLineText(text), line) << text;
}

// The texts are the C library's, and building them leaves errno alone:
// a caller that fills in its message first may still return errno.
TEST(ErrnoTextTest, NamesTheErrorAndLeavesErrnoAlone) {
  const struct {
    const char* name;
    std::string (*make)();
    std::string expected;
  } cases[] = {
      {"known number", [] { return zv::ErrorText(ENOENT); }, "No such file or directory"},
      {"unknown number", [] { return zv::ErrorText(100000); }, "Unknown error 100000"},
      {"call", [] { return zv::ErrnoText("fsync", EIO); }, "fsync: Input/output error"},
      {"call and path", [] { return zv::ErrnoText("open", "/p", EACCES); }, "open(/p): Permission denied"},
  };
  for (const auto& c : cases) {
    errno = EBADF;
    EXPECT_EQ(c.make(), c.expected) << c.name;
    EXPECT_EQ(errno, EBADF) << c.name;
  }
}

}  // namespace
