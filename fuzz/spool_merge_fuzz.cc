// SPDX-License-Identifier: MIT
// What a device and a stored list can put before the merge: arbitrary
// variables handed to the spool list, arbitrary stored entries, then the
// merge on lists in memory (no files). Beyond not crashing, the spool must
// keep every text terminated within its field, and after the merge no slot
// may hold a name that the file-name check rejects.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "list_update/file_name_check.h"
#include "list_update/merge.h"
#include "report/walk_globals.h"
#include "walk/spool_list.h"

namespace {

// Reads the input front to back; past its end every read gives zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return used_ >= size_; }
  std::uint8_t Byte() { return used_ < size_ ? data_[used_++] : 0; }
  std::int32_t Int32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return static_cast<std::int32_t>(value);
  }
  // Up to `most` bytes, as many as the next byte says.
  std::size_t Bytes(std::uint8_t* target, std::size_t most) {
    const std::size_t count = std::min<std::size_t>(Byte(), most);
    for (std::size_t i = 0; i < count; ++i) target[i] = Byte();
    return count;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

// A cell OID of the profile table most of the time (column and row from
// the input), otherwise any OID of up to 24 sub-identifiers.
std::size_t NextName(Input& input, oid (&name)[MAX_OID_LEN]) {
  const std::uint8_t shape = input.Byte();
  if (shape < 200) {
    std::copy(iOidIndexOnDevice, iOidIndexOnDevice + zv::kColumnOidLength, name);
    name[zv::kColumnOidLength - 1] = shape % 9;
    name[zv::kColumnOidLength] = input.Byte();
    name[zv::kColumnOidLength + 1] = static_cast<oid>(input.Int32()) & 0xFFFFFFFFu;
    const std::size_t extra = input.Byte() % 3;
    for (std::size_t i = 0; i < extra; ++i) name[zv::kCellOidLength + i] = input.Byte();
    return zv::kCellOidLength + extra;
  }
  const std::size_t length = input.Byte() % 25;
  for (std::size_t i = 0; i < length; ++i) name[i] = input.Byte();
  return length;
}

void SpoolOneVariable(Input& input) {
  oid name[MAX_OID_LEN] = {};
  const std::size_t name_length = NextName(input, name);
  u_char text[64] = {};
  long integer = static_cast<long>(input.Int32()) << 8 | input.Byte();
  netsnmp_variable_list variable{};
  variable.name = name;
  variable.name_length = name_length;
  variable.type = input.Byte() % 3 == 0 ? ASN_INTEGER : (input.Byte() % 2 ? ASN_OCTET_STR : input.Byte());
  if (variable.type == ASN_INTEGER) {
    variable.val.integer = &integer;
    variable.val_len = sizeof integer;
  } else {
    variable.val_len = input.Bytes(text, sizeof text);
    variable.val.string = text;
  }
  vSpoolPlist(name, name_length, &variable, 0);
}

bool Terminated(const char (&field)[ZV_PROFILE_NAME_SIZE]) {
  return std::memchr(field, '\0', sizeof field) != nullptr;
}

void FillStoredList(Input& input, ProfileList& list) {
  const std::size_t entries = input.Byte() % 8;
  for (std::size_t i = 0; i < entries; ++i) {
    ProfileRecord& slot = list.slots[input.Byte() % 16];
    slot.IndexOnDevice = input.Int32() % 4;
    slot.InMenu = input.Byte() % 8;
    slot.ProfileClass = input.Byte() % 4;
    slot.Location = input.Byte() % 7;
    input.Bytes(reinterpret_cast<std::uint8_t*>(slot.FileName), sizeof slot.FileName);
  }
  list.iNum = input.Byte() % 2 ? input.Int32() : static_cast<std::int32_t>(entries);
}

void CheckSpool() {
  for (const ProfileRecord& row : PlistForSpool.slots) {
    if (!Terminated(row.FileName) || !Terminated(row.ProfileName)) __builtin_trap();
  }
  if (PlistForSpool.iNum < 0 || PlistForSpool.iNum > ZV_PROFILE_SLOTS) __builtin_trap();
}

void CheckMergedList(const ProfileList& list) {
  for (const ProfileRecord& slot : list.slots) {
    if (slot.FileName[0] == '\0') continue;
    if (!Terminated(slot.FileName) || !bJudgement8point3Format(slot.FileName)) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  vSpoolPlist(nullptr, 0, nullptr, 1);
  const std::size_t variables = input.Byte();
  for (std::size_t i = 0; i < variables && !input.empty(); ++i) SpoolOneVariable(input);
  CheckSpool();

  static zv::ProfileLists lists;
  lists = zv::ProfileLists{};
  FillStoredList(input, lists.rgb);
  FillStoredList(input, lists.sim);
  FillStoredList(input, lists.dst);
  const int walk_result = input.Byte() % 3;
  zv::MergeSpoolIntoLists(walk_result, PlistForSpool, lists);
  CheckMergedList(lists.rgb);
  CheckMergedList(lists.sim);
  CheckMergedList(lists.dst);
  return 0;
}
