// SPDX-License-Identifier: MIT
#include "zvxpc/list_warnings.h"

#include <sys/stat.h>

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "platform/whole_file.h"
#include "store/profile_plist_private.h"
#include "store/unreadable_list.h"

namespace zvxpc {
namespace {

constexpr const char* kClassNames[] = {"RGB", "SIM", "DST"};

// A field dictionary's name and whether its entries are integers.
struct FieldKind {
  const char* name;
  bool integer;
};
constexpr FieldKind kFields[] = {{cIndexOnDeviceKey, true}, {cInMenuKey, true},       {cProfileClassKey, true},
                                 {cLocationKey, true},      {cFileNameKey, false},    {cProfileNameKey, false}};

// The value element that follows each <key> of the <dict> element `dict`,
// with the key's text.
template <typename Visit>
void ForEachEntry(pugi::xml_node dict, Visit visit) {
  for (pugi::xml_node key = dict.child("key"); key; key = key.next_sibling("key")) {
    pugi::xml_node value = key.next_sibling();
    while (value && value.type() != pugi::node_element) value = value.next_sibling();
    if (value) visit(std::string_view(key.child_value()), value);
  }
}

// The <dict> that follows <key>NAME</key> in `dict`, or an empty node.
pugi::xml_node DictionaryOf(pugi::xml_node dict, std::string_view name) {
  pugi::xml_node found;
  ForEachEntry(dict, [&](std::string_view key, pugi::xml_node value) {
    if (key == name && std::string_view(value.name()) == "dict") found = value;
  });
  return found;
}

// True when `value` is what a field of this kind holds: an <integer> of a
// signed 32-bit decimal, or a <string>.
bool HoldsItsType(pugi::xml_node value, bool integer) {
  if (!integer) return std::string_view(value.name()) == "string";
  if (std::string_view(value.name()) != "integer") return false;
  const std::string_view text = value.child_value();
  int32_t number = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && status == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::vector<std::string> WrongTypeWarnings(const std::string& path) {
  std::string data, ignored;
  std::vector<std::string> warnings;
  pugi::xml_document document;
  if (!zv::ReadWholeFile(path, &data, &ignored) || !document.load_buffer(data.data(), data.size())) return warnings;
  const pugi::xml_node top = document.child("plist").child("dict");
  for (const char* class_name : kClassNames) {
    const pugi::xml_node class_dict = DictionaryOf(top, class_name);
    for (const FieldKind& field : kFields) {
      ForEachEntry(DictionaryOf(class_dict, field.name), [&](std::string_view key, pugi::xml_node value) {
        if (HoldsItsType(value, field.integer)) return;
        warnings.push_back(std::string(class_name) + ": " + std::string(key) + " holds <" + value.name() + ">" +
                           value.child_value() + "</" + value.name() + ">, not " +
                           (field.integer ? "a whole number" : "a string") + "; it is read as if it were missing");
      });
    }
  }
  return warnings;
}

std::string XmlErrorLine(const std::string& path) {
  std::string data, ignored;
  if (!zv::ReadWholeFile(path, &data, &ignored) || data.find('<') == std::string::npos) return "";
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_buffer(data.data(), data.size());
  if (result) return "";
  const auto end = data.begin() + std::min<std::ptrdiff_t>(result.offset, static_cast<std::ptrdiff_t>(data.size()));
  const long line = 1 + std::count(data.begin(), end, '\n');
  return "line " + std::to_string(line) + ": " + result.description();
}

std::vector<std::string> KeptAsideLists(const std::string& path) {
  std::vector<std::string> kept;
  for (int i = 0; i < zv::kUnreadableListNames; ++i) {
    const std::string name =
        path + std::string(zv::kUnreadableListSuffix) + (i == 0 ? "" : "." + std::to_string(i));
    struct stat status {};
    if (::lstat(name.c_str(), &status) == 0) kept.push_back(name);
  }
  return kept;
}

}  // namespace zvxpc
