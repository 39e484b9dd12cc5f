// SPDX-License-Identifier: MIT
// The profile file-name check: a table of accepted and rejected names,
// named bytes through the character filter, and the same answers under a
// single-byte locale in which bytes above ASCII are letters.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <string>

#include "list_update/file_name_check.h"
#include "support/scoped_variable.h"
#include "support/temp_dir.h"

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

// Bytes through the character filter, as a name hands them over (a
// signed char: bytes from 0x80 up arrive negative), in groups.
struct ByteGroup {
  const char* what;
  std::string bytes;
  bool accepted;
};

const ByteGroup kBytes[] = {
    {"letters and digits, at either end of their ranges", "AZaz09", true},
    {"the neighbours of the ranges that are allowed", "`{", true},
    {"the other punctuation allowed", "}~!#$%&'()-.^_", true},
    {"the neighbours of the ranges that are refused", "/:@[", false},
    {"the other punctuation refused", "\\]|\"*+,;<=>? ", false},
    {"control characters", std::string("\t\x7f\0", 3), false},
    {"bytes above ASCII: UTF-8 lead bytes and Latin-1 letters among them", "\x80\xa0\xaa\xb2\xb5\xc0\xc3\xe9\xff",
     false},
};

void ExpectByteExamples() {
  for (const ByteGroup& g : kBytes) {
    for (const char byte : g.bytes) {
      EXPECT_EQ(FileNameFilter(static_cast<signed char>(byte)) != 0, g.accepted)
          << g.what << ": byte " << static_cast<int>(static_cast<unsigned char>(byte));
    }
  }
}

// A single-byte locale in which the Latin-1 letters from 0xC0 up are
// letters to the C library, made by localedef in a temporary folder and
// in force for the life of the object. Under it a check built on
// isalnum() would accept them.
class Latin1Locale {
 public:
  Latin1Locale() {
    const std::string command = "localedef -c -i fr_FR -f ISO-8859-1 '" + dir_.File(kName) + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());
    active_ = std::setlocale(LC_ALL, kName) != nullptr;
  }
  ~Latin1Locale() { std::setlocale(LC_ALL, "C"); }
  Latin1Locale(const Latin1Locale&) = delete;
  Latin1Locale& operator=(const Latin1Locale&) = delete;

  bool active() const { return active_; }

  static constexpr const char* kName = "fr_FR.ISO-8859-1";

 private:
  zvtest::TempDir dir_;
  zvtest::ScopedVariable locale_path_{"LOCPATH", dir_.path()};
  bool active_ = false;
};

TEST(FileNameCheckTest, AcceptsAndRejectsByTheNameRules) { ExpectTable(); }

TEST(FileNameCheckTest, FilterAcceptsExactlyTheAllowedCharacters) { ExpectByteExamples(); }

TEST(FileNameCheckTest, AnswersDoNotDependOnTheLocale) {
  Latin1Locale locale;
  ASSERT_TRUE(locale.active()) << "cannot make or use " << Latin1Locale::kName
                               << " (localedef and the locales package are needed)";
  ASSERT_TRUE(std::isalnum(0xe9)) << "e acute is no letter in " << Latin1Locale::kName;
  ExpectTable();
  ExpectByteExamples();
}

}  // namespace
