// SPDX-License-Identifier: MIT
// The property-list layer over libplist: integer and string values and
// parse failures. (Its whole-file write is the file replacement's test.)
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/property_list.h"

namespace {

using zv::PlistPtr;

PlistPtr DictWith(const char* key, plist_t value) {
  PlistPtr dict(plist_new_dict());
  plist_dict_set_item(dict.get(), key, value);
  return dict;
}

TEST(PropertyListTest, NegativeIntegersAreWrittenAsNegativeDecimalsAndReadBack) {
  for (const int32_t value : {-1, -5, INT32_MIN, INT32_MAX, 0}) {
    const PlistPtr dict = DictWith("n", zv::NewInt32Node(value));
    std::string xml, error;
    ASSERT_TRUE(zv::SerializeXml(dict.get(), &xml, &error)) << error;
    EXPECT_NE(xml.find("<integer>" + std::to_string(value) + "</integer>"), std::string::npos) << xml;
    PlistPtr parsed;
    ASSERT_TRUE(zv::ParsePropertyList(xml, &parsed, &error)) << error;
    int32_t back = 12345;
    ASSERT_TRUE(zv::Int32FromNode(plist_dict_get_item(parsed.get(), "n"), &back));
    EXPECT_EQ(back, value);
  }
}

TEST(PropertyListTest, IntegersOutsideThe32BitRangeOrOfOtherTypesAreRefused) {
  int32_t value = 7;
  const PlistPtr big(plist_new_uint(static_cast<uint64_t>(INT32_MAX) + 1));
  const PlistPtr small(plist_new_uint(static_cast<uint64_t>(static_cast<int64_t>(INT32_MIN) - 1)));
  const PlistPtr text(plist_new_string("5"));
  const PlistPtr real(plist_new_real(5.0));
  for (plist_t node : {big.get(), small.get(), text.get(), real.get(), static_cast<plist_t>(nullptr)}) {
    EXPECT_FALSE(zv::Int32FromNode(node, &value));
  }
  EXPECT_EQ(value, 7);
}

TEST(PropertyListTest, StringsAreHandedOutAsUtf8Bytes) {
  const PlistPtr text(plist_new_string("caf\xc3\xa9"));
  std::string_view bytes;
  ASSERT_TRUE(zv::StringFromNode(text.get(), &bytes));
  EXPECT_EQ(bytes, "caf\xc3\xa9");
  const PlistPtr number(plist_new_uint(1));
  EXPECT_FALSE(zv::StringFromNode(number.get(), &bytes));
}

TEST(PropertyListTest, NonPropertyListsAreRefusedWithAMessage) {
  for (const std::string& data : {std::string(), std::string("hello"), std::string("<plist><dict><key>a"),
                                 std::string("bplist00\x01\x02", 10)}) {
    PlistPtr root;
    std::string error;
    EXPECT_FALSE(zv::ParsePropertyList(data, &root, &error)) << data;
    EXPECT_FALSE(root);
    EXPECT_NE(error.find("plist_from_memory"), std::string::npos);
  }
}

// Binary lists as plistlib writes them, one dictionary entry each, and
// XML with a raw zero byte. libplist 2.2 aborts on a key whose text holds
// a zero character; a string value holding one aborts whoever copies it
// out. Walking every entry of what
// ParsePropertyList accepts must stay safe.
TEST(PropertyListTest, ListsWithAZeroCharacterInAKeyOrStringAreRefused) {
  struct Case {
    const char* name;
    std::string data;
    bool accepted;
  };
  const Case cases[] = {
      {"zero in an ASCII key",
       std::string("bplist00\xd1\x01\x02\x53\x61\x00\x62\x51\x78\x08\x0b\x0f\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00"
                   "\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x11", 52),
       false},
      {"zero in a UTF-16 key",
       std::string("bplist00\xd1\x01\x02\x63\x00\x4b\x00\xe4\x00\x00\x51\x78\x08\x0b\x12\x00\x00\x00\x00\x00\x00\x01"
                   "\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
                   "\x14", 55),
       false},
      {"zero in an ASCII string",
       std::string("bplist00\xd1\x01\x02\x51\x61\x53\x78\x00\x79\x08\x0b\x0d\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00"
                   "\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x11", 52),
       false},
      {"zero in a UTF-16 string",
       std::string("bplist00\xd1\x01\x02\x51\x61\x62\x00\xe4\x00\x00\x08\x0b\x0d\x00\x00\x00\x00\x00\x00\x01\x01\x00"
                   "\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x12", 53),
       false},
      {"UTF-16 key and string without a zero",
       std::string("bplist00\xd1\x01\x02\x62\x00\x4b\x00\xe4\x62\x00\xe4\x00\x79\x08\x0b\x10\x00\x00\x00\x00\x00\x00"
                   "\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
                   "\x00\x15", 56),
       true},
      {"zero byte in XML", std::string("<plist><dict><key>K\xc3\xa4</key><string>x\0y</string></dict></plist>", 62),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlistPtr root;
    std::string error;
    EXPECT_EQ(zv::ParsePropertyList(c.data, &root, &error), c.accepted) << error;
    if (!c.accepted) {
      EXPECT_NE(error.find("zero"), std::string::npos) << error;
      continue;
    }
    std::vector<std::string> keys;
    zv::ForEachDictionaryEntry(root.get(), [&](std::string_view key, plist_t) { keys.emplace_back(key); });
    EXPECT_EQ(keys, std::vector<std::string>{"K\xc3\xa4"});
  }
}

// A binary list of `levels` arrays, each holding `fanout` references to
// the next one (the last is empty), or to itself when `self_reference`.
std::string NestedBinaryArrays(int levels, int fanout, bool self_reference = false) {
  auto big_endian = [](std::string* out, uint64_t value, int width) {
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) out->push_back(static_cast<char>(value >> shift));
  };
  std::string data = "bplist00";
  std::string table;
  for (int i = 0; i < levels; ++i) {
    big_endian(&table, data.size(), 4);
    const bool last = i == levels - 1;
    data.push_back(static_cast<char>(0xA0 | (last && !self_reference ? 0 : fanout)));
    if (last && !self_reference) continue;
    for (int r = 0; r < fanout; ++r) big_endian(&data, last ? i : i + 1, 4);
  }
  const uint64_t table_offset = data.size();
  data += table;
  data.append(6, '\0');
  data += "\x04\x04";
  big_endian(&data, levels, 8);
  big_endian(&data, 0, 8);
  big_endian(&data, table_offset, 8);
  return data;
}

std::string NestedXmlArrays(int levels, const std::string& beside = "") {
  std::string xml = "<plist version=\"1.0\"><dict><key>deep</key>";
  for (int i = 0; i < levels; ++i) xml += "<array>";
  for (int i = 0; i < levels; ++i) xml += "</array>";
  return xml + beside + "</dict></plist>";
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// libplist reads containers by recursion: a list nested too deep, or one
// whose shared references expand without end, is refused before it does.
TEST(PropertyListTest, ContainersNestedTooDeepOrExpandingWithoutEndAreRefused) {
  struct Case {
    const char* name;
    std::string data;
    const char* refusal;  // null: accepted
  };
  const std::string many_siblings = "<key>s</key><array>" + Repeated("<dict/>", 40) + "</array>";
  const Case cases[] = {
      {"XML, 31 arrays in the top dictionary", NestedXmlArrays(31, many_siblings), nullptr},
      {"XML, 32 arrays in the top dictionary", NestedXmlArrays(32), "deeper than 32"},
      {"XML, 300,000 arrays", NestedXmlArrays(300000), "deeper than 32"},
      {"XML, container tags in a comment", NestedXmlArrays(31, "<!--" + Repeated("<array>", 40) + "-->"), nullptr},
      {"XML, container tags in a string's CDATA",
       NestedXmlArrays(31, "<key>c</key><string><![CDATA[" + Repeated("<dict>", 40) + "]]></string>"), nullptr},
      {"XML, container tags after a comment never closed", NestedXmlArrays(1, "<!--" + Repeated("<array>", 40)),
       "XML parse"},
      {"XML, container tags in a processing instruction", NestedXmlArrays(1, "<?x " + Repeated("<array>", 40) + "?>"),
       "outside the element tree"},
      {"binary, 32 arrays", NestedBinaryArrays(32, 1), nullptr},
      {"binary, 33 arrays", NestedBinaryArrays(33, 1), "deeper than 32"},
      {"binary, 100,000 arrays", NestedBinaryArrays(100000, 1), "deeper than 32"},
      {"binary, an array holding itself", NestedBinaryArrays(3, 1, true), "holds itself"},
      {"binary, 25 arrays each referring twice to the next", NestedBinaryArrays(25, 2), "expand to more than"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlistPtr root;
    std::string error;
    EXPECT_EQ(zv::ParsePropertyList(c.data, &root, &error), c.refusal == nullptr) << error;
    if (c.refusal != nullptr) {
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
  }
}

}  // namespace
