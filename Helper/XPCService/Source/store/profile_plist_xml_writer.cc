// SPDX-License-Identifier: MIT
// The XML profile list written straight from the three lists, byte for
// byte what libplist writes for the dictionaries of
// CreateTopLevelDictionary: the same entries in the same order (count,
// then the field dictionaries in write order, each with its 500 numbered
// entries), the same indentation and escapes.
#include <charconv>
#include <string_view>

#include "platform/fixed_field.h"
#include "platform/property_list.h"
#include "store/profile_plist_xml.h"

namespace zv {
namespace {

constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n"
    "<dict>\n";
constexpr std::string_view kTail = "</dict>\n</plist>\n";
// A full class of realistic names takes about 150 KB.
constexpr std::size_t kExpectedSize = 3 * 160 * 1024;

constexpr SlotField kWriteOrder[kSlotFieldCount] = {kFieldIndexOnDevice, kFieldInMenu,   kFieldProfileClass,
                                                    kFieldLocation,      kFieldFileName, kFieldProfileName};

// Appends `text` with the three characters libplist escapes.
void AppendEscaped(std::string_view text, std::string* out) {
  for (const char c : text) {
    switch (c) {
      case '&': out->append("&amp;"); break;
      case '<': out->append("&lt;"); break;
      case '>': out->append("&gt;"); break;
      default: out->push_back(c);
    }
  }
}

void AppendIndent(int depth, std::string* out) { out->append(static_cast<std::size_t>(depth), '\t'); }

void AppendKey(int depth, std::string_view key, std::string* out) {
  AppendIndent(depth, out);
  out->append("<key>");
  AppendEscaped(key, out);
  out->append("</key>\n");
}

void AppendInteger(int depth, int32_t value, std::string* out) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  AppendIndent(depth, out);
  out->append("<integer>").append(digits, end).append("</integer>\n");
}

void AppendString(int depth, std::string_view text, std::string* out) {
  AppendIndent(depth, out);
  out->append("<string>");
  AppendEscaped(text, out);
  out->append("</string>\n");
}

// "<field name>NNNN" for `slot`.
void AppendNumberedKey(int depth, std::string_view base, int slot, std::string* out) {
  char digits[4] = {static_cast<char>('0' + slot / 1000), static_cast<char>('0' + slot / 100 % 10),
                    static_cast<char>('0' + slot / 10 % 10), static_cast<char>('0' + slot % 10)};
  AppendIndent(depth, out);
  out->append("<key>").append(base).append(digits, sizeof digits).append("</key>\n");
}

// The name of `field` in `record`, or nothing when it cannot be written
// (not valid UTF-8, or a character XML cannot carry): the same rule as
// the libplist builder's.
bool WritableName(const ProfileRecord& record, SlotField field, std::string_view* text) {
  *text = FieldText(field == kFieldFileName ? record.FileName : record.ProfileName);
  return IsXmlStringText(*text);
}

int32_t IntField(const ProfileRecord& record, SlotField field) {
  switch (field) {
    case kFieldIndexOnDevice: return record.IndexOnDevice;
    case kFieldInMenu: return record.InMenu;
    case kFieldProfileClass: return record.ProfileClass;
    default: return record.Location;
  }
}

void AppendFieldDictionary(const ProfileList& list, SlotField field, std::string* out) {
  const std::string_view base = FieldKey(field);
  const std::size_t start = out->size();
  AppendIndent(2, out);
  out->append("<dict>\n");
  bool any = false;
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    const ProfileRecord& record = list.slots[slot];
    std::string_view text;
    if (IsTextField(field) && !WritableName(record, field, &text)) continue;
    any = true;
    AppendNumberedKey(3, base, slot, out);
    if (IsTextField(field)) {
      AppendString(3, text, out);
    } else {
      AppendInteger(3, IntField(record, field), out);
    }
  }
  if (!any) {
    out->resize(start);
    AppendIndent(2, out);
    out->append("<dict/>\n");
    return;
  }
  AppendIndent(2, out);
  out->append("</dict>\n");
}

void AppendClass(int32_t selector, const ProfileList& list, std::string* out) {
  AppendKey(1, ClassKey(selector), out);
  AppendIndent(1, out);
  out->append("<dict>\n");
  AppendKey(2, kCountKey, out);
  AppendInteger(2, list.iNum, out);
  for (const SlotField field : kWriteOrder) {
    AppendKey(2, FieldKey(field), out);
    AppendFieldDictionary(list, field, out);
  }
  AppendIndent(1, out);
  out->append("</dict>\n");
}

}  // namespace

void AppendProfileListXml(const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst, std::string* out) {
  out->reserve(out->size() + kExpectedSize);
  out->append(kHead);
  AppendClass(ZV_CLASS_RGB, rgb, out);
  AppendClass(ZV_CLASS_SIM, sim, out);
  AppendClass(ZV_CLASS_DST, dst, out);
  AppendKey(1, cPlistVersionKey, out);
  AppendInteger(1, kPlistVersion, out);
  out->append(kTail);
}

}  // namespace zv
