// SPDX-License-Identifier: MIT
// The XML profile list without libplist: the writer's bytes against
// libplist's writer, and the fast reader against the libplist path on
// written, plistlib-written and damaged files (same result, same lists).
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/fixed_field.h"
#include "plist_file_builder.h"
#include "reader_agreement.h"
#include "store/profile_plist_file.h"
#include "store/profile_plist_xml.h"
#include "store_fixture.h"
#include "support/temp_dir.h"

namespace {

using zvtest::NewList;
using zvtest::ReaderOutcome;

struct ThreeLists {
  std::unique_ptr<ProfileList> rgb = NewList(), sim = NewList(), dst = NewList();
};

std::string StoreXml(const ThreeLists& lists) {
  std::string xml;
  zv::AppendProfileListXml(*lists.rgb, *lists.sim, *lists.dst, &xml);
  return xml;
}

// Three full lists whose every name needs escaping: escapes at either end,
// side by side, between multi-byte characters, a name of nothing but
// escapes at the longest length, and one filling the whole field.
ThreeLists EscapingLists() {
  const char* const names[] = {"<ZV&PHOTO>", "&&<<>>", "Papier glac\xc3\xa9 <Premium> & 007",
                               "\xc3\xa9<\xc3\xa9&\xc3\xa9>\xc3\xa9", "&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&"};
  ThreeLists lists;
  int n = 0;
  for (ProfileList* list : {lists.rgb.get(), lists.sim.get(), lists.dst.get()}) {
    list->iNum = ZV_PROFILE_SLOTS;
    for (ProfileRecord& slot : list->slots) {
      zvtest::FillSlot(list, static_cast<int>(&slot - list->slots), n, 2);
      zv::CopyToField(slot.FileName, names[n % 5]);
      zv::CopyToField(slot.ProfileName, names[(n + 2) % 5]);
      ++n;
    }
  }
  std::memset(lists.sim->slots[7].ProfileName, '>', sizeof lists.sim->slots[7].ProfileName);  // no terminator
  return lists;
}

std::string LibplistXml(const ThreeLists& lists) {
  const zv::PlistPtr root = zv::CreateTopLevelDictionary(*lists.rgb, *lists.sim, *lists.dst);
  std::string xml, error;
  EXPECT_TRUE(zv::SerializeXml(root.get(), &xml, &error)) << error;
  return xml;
}

// ---- Writer ---------------------------------------------------------------------

TEST(ProfileListXmlWriterTest, WritesTheBytesLibplistWritesForTheSameLists) {
  struct Case {
    const char* name;
    std::function<void(ThreeLists*)> fill;
  };
  const Case cases[] = {
      {"three empty lists", [](ThreeLists*) {}},
      {"full lists", [](ThreeLists* l) {
         l->rgb = zvtest::PackedList(500, -250);
         l->sim = zvtest::PackedList(500, 1);
         l->dst = zvtest::PackedList(500, 300000000);
       }},
      {"integer extremes and a count beyond the table", [](ThreeLists* l) {
         l->rgb->slots[0].IndexOnDevice = INT32_MIN;
         l->rgb->slots[0].Location = INT32_MAX;
         l->rgb->slots[499].ProfileClass = -1;
         l->rgb->iNum = -3;
         l->sim->iNum = 100000;
       }},
      {"names XML escapes, keeps or cannot carry", [](ThreeLists* l) {
         zv::CopyToField(l->rgb->slots[0].FileName, "a&b<c>d\"e'f]]>g");
         zv::CopyToField(l->rgb->slots[1].FileName, "tab\there\rcr\nlf");
         zv::CopyToField(l->rgb->slots[2].FileName, "bad \xff utf-8");
         zv::CopyToField(l->rgb->slots[3].ProfileName, "control \x01");
         zv::CopyToField(l->rgb->slots[4].ProfileName, "\xef\xbf\xbe noncharacter");
         zv::CopyToField(l->rgb->slots[5].ProfileName, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e 31 bytes of text here");
         std::memset(l->rgb->slots[6].ProfileName, 'x', sizeof l->rgb->slots[6].ProfileName);  // no terminator
       }},
      {"a name dictionary with no writable name", [](ThreeLists* l) {
         for (ProfileRecord& slot : l->dst->slots) zv::CopyToField(slot.FileName, "\x80");
       }},
      {"full lists whose every name needs escaping", [](ThreeLists* l) { *l = EscapingLists(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ThreeLists lists;
    c.fill(&lists);
    EXPECT_EQ(StoreXml(lists), LibplistXml(lists));
  }
}

// ---- Agreement ------------------------------------------------------------------

enum class Fast { kDecides, kLeavesToLibplist, kEither };

// Both readers on `data`: when the fast reader decides, it must agree with
// the libplist path; when it leaves the bytes undecided, the store's reader,
// which then reads them again through libplist, must agree with it (nothing
// of the fast reader's half-done work may remain). `fast` says whether the
// fast reader is expected to decide.
void ExpectAgreement(const std::string& data, Fast fast) {
  static const zvtest::TempDir dir;
  const ReaderOutcome fast_outcome = zvtest::ReadFast(data);
  const ReaderOutcome reference = zvtest::ReadThroughLibplist(data);
  if (fast == Fast::kDecides) {
    EXPECT_TRUE(fast_outcome.read);
  } else if (fast == Fast::kLeavesToLibplist) {
    EXPECT_FALSE(fast_outcome.read);
  }
  if (fast_outcome.read) {
    EXPECT_EQ(zvtest::ClassesDifference(fast_outcome, reference), "");
    return;
  }
  const ReaderOutcome stored = zvtest::ReadAsStored(data, dir.File("list.plist"));
  EXPECT_EQ(stored.read, reference.read);
  if (reference.read) {
    EXPECT_EQ(zvtest::ClassesDifference(stored, reference), "");
  }
}

// `text` with the first `from` replaced by `to` (all of them with `all`).
std::string Replaced(std::string text, const std::string& from, const std::string& to, bool all = false) {
  std::size_t pos = text.find(from);
  EXPECT_NE(pos, std::string::npos) << from;
  while (pos != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos = all ? text.find(from, pos + to.size()) : std::string::npos;
  }
  return text;
}

// Runs python3 with `code` and `arguments`; true when it exits 0.
bool RunPython(const std::string& code, const std::string& arguments) {
  const std::string command = "python3 -c '" + code + "' " + arguments;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// `data` loaded and written again by plistlib (sorted keys, its own layout).
std::string PlistlibRewritten(const std::string& data, const zvtest::TempDir& dir, bool binary = false) {
  const std::string in = dir.File("plistlib-in"), out = dir.File("plistlib-out");
  zvtest::WriteFile(in, data);
  const std::string format = binary ? "plistlib.FMT_BINARY" : "plistlib.FMT_XML";
  EXPECT_TRUE(RunPython("import plistlib,sys; d=plistlib.load(open(sys.argv[1],\"rb\")); "
                        "open(sys.argv[2],\"wb\").write(plistlib.dumps(d, fmt=" + format + "))",
                        in + " " + out));
  return zvtest::ReadFile(out);
}

// A small file in libplist's own layout: two used slots a class.
std::string SmallFile() {
  plist_t root = zvtest::BuildProfilePlist(2);
  zv::PlistPtr owner(root);
  std::string xml, error;
  EXPECT_TRUE(zv::SerializeXml(root, &xml, &error)) << error;
  return xml;
}

TEST(ProfileListReaderAgreementTest, WrittenFilesAreDecidedByTheFastReaderAlike) {
  zvtest::TempDir dir;
  ThreeLists full;
  full.rgb = zvtest::PackedList(500, -250);
  full.dst = zvtest::PackedList(17, 3);
  zv::CopyToField(full.dst->slots[2].ProfileName, "a&b<c>d \xc3\xa9");
  const std::string files[] = {StoreXml(full), StoreXml(EscapingLists()), StoreXml(ThreeLists{}), SmallFile()};
  for (const std::string& file : files) {
    ExpectAgreement(file, Fast::kDecides);
    ExpectAgreement(PlistlibRewritten(file, dir), Fast::kDecides);
    ExpectAgreement(PlistlibRewritten(file, dir, true), Fast::kLeavesToLibplist);
  }
}

TEST(ProfileListReaderAgreementTest, AlteredFilesAreReadAlike) {
  const std::string base = SmallFile();
  const std::string name = "<string>F0.icc</string>";
  const std::string top_end = "\t<key>PlistVersion</key>";
  // `levels` dictionaries, one inside the other, around an empty string.
  const auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<dict><key>k</key>";
    text += "<string/>";
    for (int i = 0; i < levels; ++i) text += "</dict>";
    return text;
  };
  const std::string deep = "<key>Deep</key>" + nested(40);
  // The top dictionary holds a class dictionary, which holds the field
  // dictionaries: a numbered entry's value sits three containers deep.
  const std::string entry = "<key>InMenu0001</key>";
  // The file with the integer 100 (an index) given as `text`.
  const auto integer = [&base](const std::string& text) { return Replaced(base, "<integer>100</integer>", text); };
  const int max_nesting = zv::kMaxPropertyListNesting;
  struct Case {
    const char* name;
    std::string data;
    Fast fast;
  };
  const Case cases[] = {
      {"predefined entities in a name", Replaced(base, name, "<string>&amp;&lt;&gt;&quot;&apos;</string>"),
       Fast::kDecides},
      {"numeric character reference", Replaced(base, name, "<string>F&#65;&#x42;</string>"), Fast::kLeavesToLibplist},
      {"unknown entity", Replaced(base, name, "<string>F&foo;</string>"), Fast::kLeavesToLibplist},
      {"lone ampersand", Replaced(base, name, "<string>F&0</string>"), Fast::kLeavesToLibplist},
      {"comments and a processing instruction between entries",
       Replaced(base, "<key>FileName0000</key>", "<!-- c --><key>FileName0000</key><?pi x?><!-- d -->"),
       Fast::kDecides},
      {"comment inside a name", Replaced(base, name, "<string>F<!-- c -->0</string>"), Fast::kLeavesToLibplist},
      {"CDATA name", Replaced(base, name, "<string><![CDATA[F<&>]]></string>"), Fast::kDecides},
      {"CDATA beside text", Replaced(base, name, "<string>F<![CDATA[0]]></string>"), Fast::kLeavesToLibplist},
      {"white-space name", Replaced(base, name, "<string> \t </string>"), Fast::kDecides},
      {"empty names", Replaced(base, name, "<string/>"), Fast::kDecides},
      {"CR LF line ends", Replaced(base, "\n", "\r\n", true), Fast::kDecides},
      {"CR and CR LF in a name", Replaced(base, name, "<string>a\rb\r\nc</string>"), Fast::kDecides},
      {"byte-order mark", "\xef\xbb\xbf" + base, Fast::kDecides},
      {"no declaration", base.substr(base.find("<!DOCTYPE")), Fast::kDecides},
      {"attributes", Replaced(base, "<dict>", "<dict a=\"1\">", true), Fast::kDecides},
      {"repeated entry, last of another type",
       Replaced(base, "<key>InMenu0001</key>", "<key>InMenu0001</key><integer>5</integer><key>InMenu0001</key>"),
       Fast::kDecides},
      {"repeated entry, last a string",
       Replaced(base, "<key>InMenu0001</key>", "<key>InMenu0000</key><string>s</string><key>InMenu0001</key>"),
       Fast::kDecides},
      {"repeated class, last not a dictionary", Replaced(base, top_end, "<key>SIM</key><string/>" + top_end),
       Fast::kDecides},
      {"repeated count", Replaced(base, "<key>iNum</key>", "<key>iNum</key><integer>9</integer><key>iNum</key>"),
       Fast::kDecides},
      {"count out of range", Replaced(base, "<integer>2</integer>", "<integer>4294967296</integer>"), Fast::kDecides},
      {"integer extremes", integer("<integer>-2147483648</integer>"), Fast::kDecides},
      {"integer above 32 bits", integer("<integer>2147483648</integer>"), Fast::kDecides},
      {"integer with a leading zero", integer("<integer>010</integer>"), Fast::kLeavesToLibplist},
      {"integer with a plus sign", integer("<integer>+5</integer>"), Fast::kLeavesToLibplist},
      {"integer in hexadecimal", integer("<integer>0x10</integer>"), Fast::kLeavesToLibplist},
      {"integer with white space", integer("<integer> 12 </integer>"), Fast::kLeavesToLibplist},
      {"integer of 20 digits", integer("<integer>18446744073709551615</integer>"), Fast::kLeavesToLibplist},
      {"empty integer", integer("<integer/>"), Fast::kLeavesToLibplist},
      {"name holding an integer", Replaced(base, name, "<integer>3</integer>"), Fast::kDecides},
      {"integer holding a name", integer("<string>100</string>"), Fast::kDecides},
      {"boolean value", Replaced(base, "<integer>1</integer>\n</dict>", "<true/>\n</dict>"), Fast::kLeavesToLibplist},
      {"field dictionary missing", Replaced(base, "<key>Location</key>", "<key>Locatio</key>"), Fast::kDecides},
      {"class dictionary missing", Replaced(base, "<key>SIM</key>", "<key>SIN</key>"), Fast::kDecides},
      {"no plist element", Replaced(Replaced(base, "<plist version=\"1.0\">", ""), "</plist>", ""),
       Fast::kLeavesToLibplist},
      {"text after the document", base + "junk<x/>", Fast::kLeavesToLibplist},
      {"no closing plist tag", base.substr(0, base.rfind("</plist>")), Fast::kLeavesToLibplist},
      {"empty key", Replaced(base, top_end, "<key></key><string/>" + top_end), Fast::kLeavesToLibplist},
      {"key without a value", Replaced(base, "</dict>\n</plist>", "<key>x</key></dict>\n</plist>"),
       Fast::kLeavesToLibplist},
      {"element inside a name", Replaced(base, name, "<string>F<b>0</b></string>"), Fast::kLeavesToLibplist},
      {"nesting 40 deep", Replaced(base, top_end, deep + top_end), Fast::kLeavesToLibplist},
      {"nesting at the limit beside the classes",
       Replaced(base, top_end, "<key>Deep</key>" + nested(max_nesting - 1) + top_end), Fast::kDecides},
      {"nesting past the limit beside the classes",
       Replaced(base, top_end, "<key>Deep</key>" + nested(max_nesting) + top_end), Fast::kLeavesToLibplist},
      {"nesting at the limit in a numbered entry",
       Replaced(base, entry, "<key>InMenu0000</key>" + nested(max_nesting - 3) + entry), Fast::kDecides},
      {"nesting past the limit in a numbered entry",
       Replaced(base, entry, "<key>InMenu0000</key>" + nested(max_nesting - 2) + entry), Fast::kLeavesToLibplist},
      {"raw zero byte", Replaced(base, name, std::string("<string>F\0x</string>", 20)), Fast::kLeavesToLibplist},
      {"bytes that are not UTF-8 and control characters", Replaced(base, name, "<string>\xff\x80\x01\x1f</string>"),
       Fast::kDecides},
      {"UTF-16", [&] {
         std::string wide = "\xff\xfe";
         for (const char c : Replaced(base, "UTF-8", "UTF-16")) wide += std::string{c, '\0'};
         return wide;
       }(),
       Fast::kLeavesToLibplist},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectAgreement(c.data, c.fast);
  }
}

TEST(ProfileListReaderAgreementTest, CutAndFlippedFilesAreReadAlike) {
  const std::string base = SmallFile();
  for (std::size_t length = 0; length < base.size(); ++length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    ExpectAgreement(base.substr(0, length), Fast::kEither);
  }
  // Every byte flipped once, the replacements taken in turn, so that each
  // of them lands in tags, keys, values and between elements alike (the
  // profile list fuzzer tries every pair).
  constexpr char kReplacements[] = {'<', '>', '&', '/', 'x', '-', '\r', '\0', '\xff'};
  for (std::size_t pos = 0; pos < base.size(); ++pos) {
    const char replacement = kReplacements[pos % std::size(kReplacements)];
    std::string flipped = base;
    flipped[pos] = replacement;
    SCOPED_TRACE("byte " + std::to_string(pos) + " set to " + std::to_string(replacement));
    ExpectAgreement(flipped, Fast::kEither);
  }
}

TEST(ProfileListReaderAgreementTest, CarriageReturnInANameReadsAsLineFeedInEveryReader) {
  zvtest::TempDir dir;
  ThreeLists lists;
  zv::CopyToField(lists.rgb->slots[0].FileName, "a\rb\r\nc");
  lists.rgb->slots[0].InMenu = 1;
  lists.rgb->iNum = 1;
  const std::string path = dir.File("cr.plist");
  std::string error;
  ASSERT_TRUE(zv::WriteProfileListFile(path.c_str(), *lists.rgb, *lists.sim, *lists.dst, &error)) << error;
  ThreeLists read;
  ASSERT_TRUE(zv::ReadProfileListFile(path.c_str(), read.rgb.get(), read.sim.get(), read.dst.get(), &error)) << error;
  EXPECT_EQ(zv::FieldText(read.rgb->slots[0].FileName), "a\nb\nc");
  const ReaderOutcome reference = zvtest::ReadThroughLibplist(zvtest::ReadFile(path));
  ASSERT_TRUE(reference.read);
  EXPECT_EQ(zv::FieldText(reference.classes->of[0].slots[0].values.FileName), "a\nb\nc");
  EXPECT_TRUE(RunPython("import plistlib,sys; d=plistlib.load(open(sys.argv[1],\"rb\")); "
                        "sys.exit(d[\"RGB\"][\"FileName\"][\"FileName0000\"] != \"a\\nb\\nc\")",
                        path));
}

TEST(ProfileListReaderAgreementTest, TheFileReaderFallsBackToLibplistAndNamesWhatIsWrong) {
  zvtest::TempDir dir;
  const std::string path = dir.File("list.plist");
  struct Case {
    const char* name;
    std::string content;  // empty: no file
    std::string reason;
  };
  const Case cases[] = {
      {"no file", "", "open(" + path + "): No such file or directory"},
      {"not a property list", "neither", path + ": plist_from_memory: not a property list"},
      {"no field dictionary", Replaced(SmallFile(), "<key>InMenu</key>", "<key>x</key>"),
       path + ": class \"RGB\" has no dictionary \"InMenu\""},
      {"read by libplist after the fast reader", Replaced(SmallFile(), "<string>F0.icc</string>", "<string>&#65;</string>"),
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(path.c_str());
    if (!c.content.empty()) zvtest::WriteFile(path, c.content);
    ThreeLists read;
    std::string error;
    EXPECT_EQ(zv::ReadProfileListFile(path.c_str(), read.rgb.get(), read.sim.get(), read.dst.get(), &error),
              c.reason.empty());
    EXPECT_EQ(error, c.reason);
    if (c.reason.empty()) {
      EXPECT_EQ(zv::FieldText(read.rgb->slots[0].FileName), "A");
    }
  }
}

}  // namespace
