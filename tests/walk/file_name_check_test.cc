// SPDX-License-Identifier: MIT
// The profile file-name check: a table of accepted and rejected names,
// every byte value through the character filter, and the same answers
// under a locale other than "C".
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "walk/file_name_check.h"

namespace {

struct NameCase {
  std::string name;
  bool accepted;
};

const NameCase kNames[] = {
    {"Photo.icc", true},
    {"lowercase.icm", true},
    {std::string(27, 'a'), true},
    {std::string(28, 'a'), false},
    {std::string(27, 'a') + ".icc", true},
    {std::string(28, 'a') + ".icc", false},
    {".icc", false},
    {".", false},
    {"", false},
    {"name.icc4", false},
    {"name.", true},
    {"a.b.c", true},
    {"a.b.cd", false},
    {"a..", true},
    {"with space.icc", false},
    {"at@sign.icc", false},
    {"plus+.icc", false},
    {"bar|.icc", false},
    {"slash/x.icc", false},
    {"star*.icc", false},
    {"quote\".icc", false},
    {"tab\t.icc", false},
    {"del\x7f.icc", false},
    {"caf\xc3\xa9.icc", false},
    {"latin\xe9", false},
    {"\xff", false},
    {"!#$%&'()-^_`{}~.a", true},
    {"0123456789.ICC", true},
};

void ExpectTable() {
  for (const NameCase& c : kNames) {
    EXPECT_EQ(bJudgement8point3Format(c.name.c_str()) != 0, c.accepted) << "name \"" << c.name << "\"";
  }
  EXPECT_EQ(bJudgement8point3Format(nullptr), 0);
}

// The exact set of accepted codes, from the byte values as they arrive
// (signed char: 0x80 to 0xFF are negative).
void ExpectFilterForEveryByte() {
  const std::string punctuation = "!#$%&'()-.^_`{}~";
  for (int byte = 0; byte < 256; ++byte) {
    const int c = static_cast<signed char>(byte);
    const bool alnum = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9');
    const bool expected = alnum || (byte > 0 && byte < 0x80 && punctuation.find(static_cast<char>(byte)) != std::string::npos);
    EXPECT_EQ(FileNameFilter(c) != 0, expected) << "byte " << byte;
  }
}

TEST(FileNameCheckTest, AcceptsAndRejectsByTheNameRules) { ExpectTable(); }

TEST(FileNameCheckTest, FilterAcceptsExactlyTheAllowedCharacters) { ExpectFilterForEveryByte(); }

TEST(FileNameCheckTest, AnswersDoNotDependOnTheLocale) {
  const char* chosen = nullptr;
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "de_DE.ISO-8859-1", "en_US.ISO-8859-1"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  ASSERT_NE(chosen, nullptr) << "no locale other than C is available";
  ExpectTable();
  ExpectFilterForEveryByte();
  std::setlocale(LC_ALL, "C");
}

}  // namespace
