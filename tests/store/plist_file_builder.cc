// SPDX-License-Identifier: MIT
#include "plist_file_builder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/temp_dir.h"

namespace zvtest {
namespace {

void SetNumbered(plist_t dict, const char* base, int slot, plist_t value) {
  char key[48];
  std::snprintf(key, sizeof key, "%s%04d", base, slot);
  plist_dict_set_item(dict, key, value);
}

}  // namespace

plist_t BuildClassDictionary(int slots, bool with_count) {
  plist_t cls = plist_new_dict();
  if (with_count) plist_dict_set_item(cls, "iNum", plist_new_uint(static_cast<uint64_t>(slots)));
  const char* names[] = {"IndexOnDevice", "InMenu", "ProfileClass", "Location", "FileName", "ProfileName"};
  plist_t sub[6];
  for (int f = 0; f < 6; ++f) sub[f] = plist_new_dict();
  for (int i = 0; i < slots; ++i) {
    char text[32];
    SetNumbered(sub[0], names[0], i, plist_new_uint(static_cast<uint64_t>(100 + i)));
    SetNumbered(sub[1], names[1], i, plist_new_uint(1));
    SetNumbered(sub[2], names[2], i, plist_new_uint(static_cast<uint64_t>(static_cast<int64_t>(-(i + 1)))));
    SetNumbered(sub[3], names[3], i, plist_new_uint(4));
    std::snprintf(text, sizeof text, "F%d.icc", i);
    SetNumbered(sub[4], names[4], i, plist_new_string(text));
    std::snprintf(text, sizeof text, "Name %d", i);
    SetNumbered(sub[5], names[5], i, plist_new_string(text));
  }
  for (int f = 0; f < 6; ++f) plist_dict_set_item(cls, names[f], sub[f]);
  return cls;
}

plist_t BuildProfilePlist(int slots) {
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "RGB", BuildClassDictionary(slots));
  plist_dict_set_item(root, "SIM", BuildClassDictionary(slots));
  plist_dict_set_item(root, "DST", BuildClassDictionary(slots));
  plist_dict_set_item(root, "PlistVersion", plist_new_uint(1));
  return root;
}

plist_t FieldDictionary(plist_t root, const char* class_key, const char* field) {
  return plist_dict_get_item(plist_dict_get_item(root, class_key), field);
}

void WritePlistFile(const std::string& path, plist_t root, bool binary) {
  char* data = nullptr;
  uint32_t length = 0;
  if (binary) {
    plist_to_bin(root, &data, &length);
  } else {
    plist_to_xml(root, &data, &length);
  }
  ASSERT_NE(data, nullptr);
  WriteFile(path, std::string(data, length));
  if (binary) {
    plist_to_bin_free(data);
  } else {
    plist_to_xml_free(data);
  }
}

}  // namespace zvtest
