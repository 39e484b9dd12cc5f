// SPDX-License-Identifier: MIT
// The profile property list: the file in which the service and the driver's
// user interface share one printer model's and one user's profile lists.
//
// Format. An XML property list (the writer always writes XML; the reader
// also takes the binary form) whose top level is a dictionary:
//
//   "RGB", "SIM", "DST"   class dictionary of that profile class
//   "PlistVersion"        integer 1 (written, never looked at)
//
// Each class dictionary is the column-wise image of one ProfileList:
//
//   "iNum"                                       integer, the list's count
//   "IndexOnDevice", "InMenu", "ProfileClass",   dictionaries of integers
//   "Location"
//   "FileName", "ProfileName"                    dictionaries of strings
//
// Inside a field dictionary the entry of slot i is keyed by the field's own
// name followed by i in four zero-padded digits: "InMenu0007",
// "ProfileName0499". Integers are signed 32-bit values (negative ones too);
// strings are UTF-8 and keep at most 31 bytes in memory, cut at a character
// boundary. ProfileAvailability is not stored.
//
// The writer writes all 500 slots of every field dictionary, whatever iNum
// says, and builds the file anew from the three lists. The reader takes any
// subset of the numbered entries; a missing entry, or one holding a value of
// another type (a string where an integer belongs, a number out of the
// 32-bit range), leaves the field as the caller had it. Slot numbers from
// 0500 up and keys of any other form are ignored. A missing class or field
// dictionary fails the read before any list is touched; a missing or wrong
// "iNum" is mended by the list normalisation. Where a dictionary repeats
// a key, its last value counts (as libplist keeps it). Line ends in XML
// text read as LF, as in every XML reader; a binary list whose key or
// string holds a zero character is refused.
//
// XML lists are read by the fast reader of profile_plist_xml.h; binary
// lists, and XML in forms it leaves undecided, through libplist.
//
// This header is the one definition of the format for every reader and
// writer of the store (whole file, one class, filtering, mapping).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "platform/property_list.h"
#include "store/list_lock.h"
#include "store/zvplist.h"

// Names of the field dictionaries and of the version entry, zero-padded to
// 32 bytes; the numbered keys are formed from them.
extern const char cIndexOnDeviceKey[32];
extern const char cInMenuKey[32];
extern const char cProfileClassKey[32];
extern const char cFileNameKey[32];
extern const char cProfileNameKey[32];
extern const char cLocationKey[32];
extern const char cPlistVersionKey[32];

namespace zv {

/// Key of the count in a class dictionary.
inline constexpr char kCountKey[] = "iNum";
/// Value written under cPlistVersionKey.
inline constexpr int32_t kPlistVersion = 1;
/// Longest text a name field keeps (the 32nd byte is the terminator).
inline constexpr std::size_t kNameTextMax = ZV_PROFILE_NAME_SIZE - 1;

/// The six stored fields of a slot, in the order in which the readers look
/// up their dictionaries.
enum SlotField : int {
  kFieldIndexOnDevice,
  kFieldInMenu,
  kFieldProfileClass,
  kFieldFileName,
  kFieldProfileName,
  kFieldLocation,
  kSlotFieldCount
};

/// Where a record holds an integer field, and a name field.
using IntegerMember = int32_t ProfileRecord::*;
using NameMember = char (ProfileRecord::*)[ZV_PROFILE_NAME_SIZE];

/// An integer field and its record member.
struct IntegerField {
  SlotField field;
  IntegerMember member;
};

/// A name field and its record member.
struct NameField {
  SlotField field;
  NameMember member;
};

/// The four integer fields and the two name fields: the one place that
/// ties a field to its record member, so no field can stand in for
/// another. Each table is in write order, integers before names.
inline constexpr IntegerField kIntegerFields[] = {{kFieldIndexOnDevice, &ProfileRecord::IndexOnDevice},
                                                  {kFieldInMenu, &ProfileRecord::InMenu},
                                                  {kFieldProfileClass, &ProfileRecord::ProfileClass},
                                                  {kFieldLocation, &ProfileRecord::Location}};
inline constexpr NameField kNameFields[] = {{kFieldFileName, &ProfileRecord::FileName},
                                            {kFieldProfileName, &ProfileRecord::ProfileName}};
static_assert(std::size(kIntegerFields) + std::size(kNameFields) == kSlotFieldCount);

/// The order in which the writers write a class's field dictionaries.
inline constexpr SlotField kWriteOrder[kSlotFieldCount] = {kFieldIndexOnDevice, kFieldInMenu,   kFieldProfileClass,
                                                           kFieldLocation,      kFieldFileName, kFieldProfileName};

/// True when the two tables, one after the other, are kWriteOrder: every
/// field is in exactly one of them.
constexpr bool FieldTablesFollowWriteOrder() {
  std::size_t i = 0;
  for (const IntegerField& entry : kIntegerFields) {
    if (entry.field != kWriteOrder[i++]) return false;
  }
  for (const NameField& entry : kNameFields) {
    if (entry.field != kWriteOrder[i++]) return false;
  }
  for (int field = 0; field < kSlotFieldCount; ++field) {
    if (std::count(std::begin(kWriteOrder), std::end(kWriteOrder), field) != 1) return false;
  }
  return true;
}
static_assert(FieldTablesFollowWriteOrder());

/// The entry of `field` in kIntegerFields; null for a name field.
const IntegerField* FindIntegerField(SlotField field);

/// The entry of `field` in kNameFields; null for an integer field.
const NameField* FindNameField(SlotField field);

/// Bit of `field` in SlotEntries::present.
constexpr uint8_t FieldBit(SlotField field) { return static_cast<uint8_t>(1u << field); }
/// All six field bits.
inline constexpr uint8_t kAllFieldBits = (1u << kSlotFieldCount) - 1;

/// Name of the dictionary of `field` (one of the key arrays above).
const char* FieldKey(SlotField field);

/// Number of profile classes, selectors 0 to kProfileClassCount - 1.
inline constexpr int32_t kProfileClassCount = 3;
static_assert(ZV_CLASS_RGB == 0 && ZV_CLASS_SIM == 1 && ZV_CLASS_DST == kProfileClassCount - 1);

/// Key of a profile class in the top-level dictionary: "RGB", "SIM" or
/// "DST" for the selectors 0, 1 and 2; null for any other selector.
const char* ClassKey(int32_t selector);

/// The six field dictionaries of one class dictionary, indexed by
/// SlotField. Borrowed: valid as long as the class dictionary is.
struct FieldDictionaries {
  plist_t of[kSlotFieldCount];
};

/// One slot as a class dictionary holds it: the values of the fields whose
/// numbered entry exists with the right type, marked in `present`.
struct SlotEntries {
  ProfileRecord values;
  uint8_t present;
};

/// One class as its dictionary holds it. About 45 KB.
struct ClassEntries {
  SlotEntries slots[ZV_PROFILE_SLOTS];
  bool has_count;
  int32_t count;
};

/// The three classes of one file as the readers decode them, in class
/// order. About 135 KB: allocate it on the heap.
struct ProfileClasses {
  ClassEntries of[kProfileClassCount];
  /// Why class c cannot be read (its class dictionary or one of its field
  /// dictionaries is missing); empty when it was found whole.
  std::string problem[kProfileClassCount];
};

/// True for the two name fields.
bool IsTextField(SlotField field);

/// The slot number of a key of exactly the form "<field name>NNNN" with
/// NNNN from 0000 to 0499; -1 for every other key.
int SlotNumberOfKey(std::string_view key, SlotField field);

/// Stores `text` into the name field `field` of `*slot` by the string rule
/// (31 bytes at most, cut at a character boundary and a zero byte) and
/// marks it present.
void StoreSlotText(const NameField& field, std::string_view text, SlotEntries* slot);

/// Stores `value` into the integer field `field` of `*slot` and marks it
/// present.
void StoreSlotInt(const IntegerField& field, int32_t value, SlotEntries* slot);

/// The reason text for a missing class dictionary or field dictionary of
/// class `selector` (`field` null for the class dictionary itself).
std::string MissingDictionaryReason(int32_t selector, const char* field);

// ---- Reading --------------------------------------------------------------

/// Decodes the three classes of the parsed property list `root` into
/// `*classes` (value-initialised by the caller): the libplist path of
/// LoadProfileClasses.
void DecodePlistClasses(plist_t root, ProfileClasses* classes);

/// Reads the profile list at `path` (XML through the fast reader, with
/// libplist for binary lists and for XML outside the forms the fast reader
/// decides) and decodes its three classes into `*classes`. False with a
/// message in `*error` when the file cannot be read or holds no property
/// list; a missing class shows in classes->problem.
bool LoadProfileClasses(const char* path, ProfileClasses* classes, std::string* error);

/// As LoadProfileClasses, from the file's bytes `data` (already read from
/// `path`, which only names the file in messages).
bool DecodeProfileClasses(const std::string& data, const char* path, ProfileClasses* classes, std::string* error);

/// Reads and parses the file that ZV_PLIST_PROFILE_PATH names (its bytes
/// used unchanged). False when the path variable is null or longer than 254
/// bytes (nothing is touched then), or when the file cannot be read or is
/// no property list; `*root` is left untouched then.
bool LoadCurrentProfilePlist(PlistPtr* root);

/// The class dictionary of `selector` in the top-level dictionary `root`;
/// null when it is missing or not a dictionary, or `selector` is not 0-2.
plist_t FindClassDictionary(plist_t root, int32_t selector);

/// Looks up the six field dictionaries of `class_dict` in SlotField order
/// and stores each in `*fields`. False at the first one that is missing or
/// not a dictionary (the ones before it are stored).
bool FindFieldDictionaries(plist_t class_dict, FieldDictionaries* fields);

/// Decodes every numbered entry of the six field dictionaries and the count
/// of `class_dict` into `*entries` (which it clears first).
void DecodeClassEntries(plist_t class_dict, const FieldDictionaries& fields, ClassEntries* entries);

/// Copies those of `fields` (SlotEntries bits) that `entry` holds into
/// `*record`; every other field of the record keeps its value.
void CopyPresentFields(const SlotEntries& entry, uint8_t fields, ProfileRecord* record);

/// Fills `*list` from a decoded class as every plain reader does: each slot
/// field that the file holds, then the count when present, then the list
/// normalisation.
void ApplyClassEntries(const ClassEntries& entries, ProfileList* list);

/// Integer read: when `dict` holds `key` with an integer value in the
/// signed 32-bit range, stores it in `*value` and returns true; otherwise
/// returns false and leaves `*value` as it was.
bool ReadDictionaryIntEntry(plist_t dict, const char* key, int32_t* value);


// ---- Writing --------------------------------------------------------------

/// Builds the class dictionary of `list`: "iNum" and the six field
/// dictionaries with all 500 numbered entries. A name that is not valid
/// UTF-8 is left out of its dictionary. The returned dictionary owns its
/// field dictionaries.
PlistPtr CreatePropsDictionary(const ProfileList& list);

/// Builds the whole top-level dictionary of three lists, "PlistVersion" 1
/// included: the libplist image of what AppendProfileListXml writes.
PlistPtr CreateTopLevelDictionary(const ProfileList& rgb, const ProfileList& sim,
                                  const ProfileList& dst);

/// WriteProfileListFile on the current path with the reason dropped: the
/// write of the whole-file writer after its write-access test.
bool WriteProfileLists(const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst);

/// An exclusive hold on the lock of the list at the current path (null
/// when no usable path is set), for a write of it or a read that a write
/// of it follows.
std::unique_ptr<ProfileListLock> LockCurrentProfileList();

}  // namespace zv
