// SPDX-License-Identifier: MIT
// The profile file-name check: a table of accepted and rejected names,
// named bytes through the character filter, and the same answers under a
// single-byte locale in which bytes above ASCII are letters.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <string>

#include "support/scoped_variable.h"
#include "support/temp_dir.h"
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

// One byte through the character filter, as a name hands it over (a
// signed char: bytes from 0x80 up arrive negative).
struct ByteCase {
  const char* name;
  unsigned char byte;
  bool accepted;
};

const ByteCase kBytes[] = {
    {"capital A", 'A', true},
    {"capital Z", 'Z', true},
    {"small a", 'a', true},
    {"small z", 'z', true},
    {"digit 0", '0', true},
    {"digit 9", '9', true},
    {"slash, just below the digits", '/', false},
    {"colon, just above the digits", ':', false},
    {"at sign, just below the capitals", '@', false},
    {"opening bracket, just above the capitals", '[', false},
    {"backslash", '\\', false},
    {"closing bracket", ']', false},
    {"grave accent, just below the small letters", '`', true},
    {"opening brace, just above the small letters", '{', true},
    {"vertical bar", '|', false},
    {"closing brace", '}', true},
    {"tilde", '~', true},
    {"exclamation mark", '!', true},
    {"number sign", '#', true},
    {"dollar sign", '$', true},
    {"percent sign", '%', true},
    {"ampersand", '&', true},
    {"apostrophe", '\'', true},
    {"opening parenthesis", '(', true},
    {"closing parenthesis", ')', true},
    {"hyphen", '-', true},
    {"full stop", '.', true},
    {"circumflex accent", '^', true},
    {"underscore", '_', true},
    {"quotation mark", '"', false},
    {"asterisk", '*', false},
    {"plus sign", '+', false},
    {"comma", ',', false},
    {"semicolon", ';', false},
    {"less-than sign", '<', false},
    {"equals sign", '=', false},
    {"greater-than sign", '>', false},
    {"question mark", '?', false},
    {"space", ' ', false},
    {"tab", '\t', false},
    {"zero byte", 0x00, false},
    {"delete", 0x7f, false},
    {"first byte above ASCII", 0x80, false},
    {"no-break space in Latin-1", 0xa0, false},
    {"feminine ordinal in Latin-1", 0xaa, false},
    {"superscript two in Latin-1", 0xb2, false},
    {"micro sign in Latin-1", 0xb5, false},
    {"capital A grave in Latin-1", 0xc0, false},
    {"UTF-8 lead byte of e acute", 0xc3, false},
    {"e acute in Latin-1", 0xe9, false},
    {"y diaeresis in Latin-1", 0xff, false},
};

void ExpectByteExamples() {
  for (const ByteCase& c : kBytes) {
    EXPECT_EQ(FileNameFilter(static_cast<signed char>(c.byte)) != 0, c.accepted) << c.name;
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
