// SPDX-License-Identifier: MIT
#include "walk/spool_list.h"

#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/fixed_field.h"
#include "platform/utf8.h"

#define ZV_PROFILE_COLUMN(c) {1, 3, 6, 1, 4, 1, zv::kProfileTableEnterprise, 1, 1, 1, 1, 6, 13, 1, 1, c}

const oid iOidIndexOnDevice[zv::kColumnOidLength] = ZV_PROFILE_COLUMN(1);
const oid iOidSourceType[zv::kColumnOidLength] = ZV_PROFILE_COLUMN(2);
const oid iOidProfileName[zv::kColumnOidLength] = ZV_PROFILE_COLUMN(3);
const oid iOidFileName[zv::kColumnOidLength] = ZV_PROFILE_COLUMN(4);
const oid iOidProfileClass[zv::kColumnOidLength] = ZV_PROFILE_COLUMN(5);
const oid iOidProfileAvailability[zv::kColumnOidLength] = ZV_PROFILE_COLUMN(7);

#undef ZV_PROFILE_COLUMN

namespace {

constexpr int kClearMode = 1;
constexpr std::size_t kRowSubidentifier = 17;  // the 18th, counted from 0
constexpr std::size_t kLongestName = ZV_PROFILE_NAME_SIZE - 1;
// An empty text that still points somewhere: field copies take its data
// pointer as a memcpy source.
constexpr std::string_view kNoText = "";

enum class SpoolField { kIndexOnDevice, kLocation, kProfileName, kFileName, kProfileClass, kAvailability };

struct SpoolColumn {
  const oid* column_oid;
  u_char required_type;
  SpoolField field;
};

const SpoolColumn kSpoolColumns[] = {
    {iOidIndexOnDevice, ASN_INTEGER, SpoolField::kIndexOnDevice},
    {iOidSourceType, ASN_INTEGER, SpoolField::kLocation},
    {iOidProfileName, ASN_OCTET_STR, SpoolField::kProfileName},
    {iOidFileName, ASN_OCTET_STR, SpoolField::kFileName},
    {iOidProfileClass, ASN_INTEGER, SpoolField::kProfileClass},
    {iOidProfileAvailability, ASN_INTEGER, SpoolField::kAvailability},
};

// The column whose OID the first 16 sub-identifiers of `name` equal, or null.
const SpoolColumn* FindColumn(const oid* name, std::size_t name_length) {
  if (name_length < zv::kColumnOidLength) return nullptr;
  for (const SpoolColumn& column : kSpoolColumns) {
    if (std::equal(name, name + zv::kColumnOidLength, column.column_oid)) return &column;
  }
  return nullptr;
}

// The entry that the cell's row number selects, or null when the OID has no
// row number or the row lies outside 1 to 500.
ProfileRecord* EntryForCell(const oid* name, std::size_t name_length) {
  if (name_length < zv::kCellOidLength) return nullptr;
  const oid row = name[kRowSubidentifier];
  if (row < 1 || row > ZV_PROFILE_SLOTS) return nullptr;
  return &PlistForSpool.slots[row - 1];
}

bool HasValue(const netsnmp_variable_list& variable) {
  return variable.type == ASN_INTEGER ? variable.val.integer != nullptr
                                      : variable.val.string != nullptr || variable.val_len == 0;
}

int32_t IntegerValue(const netsnmp_variable_list& variable) {
  return static_cast<int32_t>(static_cast<uint32_t>(*variable.val.integer));
}

// The octet string's bytes up to its first zero byte: the device sends no
// terminator, so its length is the value length.
std::string_view OctetText(const netsnmp_variable_list& variable) {
  if (variable.val.string == nullptr) return kNoText;
  const std::string_view bytes(reinterpret_cast<const char*>(variable.val.string), variable.val_len);
  return bytes.substr(0, bytes.find('\0'));
}

void CountIndexValue() {
  if (PlistForSpool.iNum < ZV_PROFILE_SLOTS) ++PlistForSpool.iNum;
}

// A name too long for the field would be rejected by the merge's name check
// anyway; an empty field is rejected the same way and cannot be mistaken
// for a shorter name.
void StoreFileName(ProfileRecord& entry, std::string_view text) {
  if (text.size() > kLongestName) text = kNoText;
  zv::CopyToField(entry.FileName, text);
}

// A display name is only shown, so a long one is kept, cut short without
// splitting a character.
void StoreProfileName(ProfileRecord& entry, std::string_view text) {
  if (text.size() > kLongestName) text = text.substr(0, zv::Utf8PrefixLength(text, kLongestName));
  zv::CopyToField(entry.ProfileName, text);
}

void StoreField(ProfileRecord& entry, SpoolField field, const netsnmp_variable_list& variable) {
  switch (field) {
    case SpoolField::kIndexOnDevice:
      entry.IndexOnDevice = IntegerValue(variable);
      CountIndexValue();
      break;
    case SpoolField::kLocation: entry.Location = IntegerValue(variable); break;
    case SpoolField::kProfileClass: entry.ProfileClass = IntegerValue(variable); break;
    case SpoolField::kAvailability: entry.ProfileAvailability = IntegerValue(variable); break;
    case SpoolField::kProfileName: StoreProfileName(entry, OctetText(variable)); break;
    case SpoolField::kFileName: StoreFileName(entry, OctetText(variable)); break;
  }
}

}  // namespace

void vSpoolPlist(const oid* name, std::size_t name_length, const netsnmp_variable_list* variable,
                 int mode) {
  if (mode == kClearMode) {
    std::memset(&PlistForSpool, 0, sizeof PlistForSpool);
    return;
  }
  if (name == nullptr || variable == nullptr) return;
  const SpoolColumn* column = FindColumn(name, name_length);
  if (column == nullptr || variable->type != column->required_type || !HasValue(*variable)) return;
  ProfileRecord* entry = EntryForCell(name, name_length);
  if (entry == nullptr) return;
  StoreField(*entry, column->field, *variable);
}
