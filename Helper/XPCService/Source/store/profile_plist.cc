// SPDX-License-Identifier: MIT
// The profile property list (format in profile_plist_private.h): decoding
// and building class dictionaries, and the whole-file reader and writer.
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/binary_plist_check.h"
#include "platform/file_identity.h"
#include "platform/file_paths.h"
#include "platform/fixed_field.h"
#include "platform/whole_file.h"
#include "platform/utf8.h"
#include "store/profile_plist_file.h"
#include "store/profile_plist_private.h"
#include "store/profile_plist_xml.h"
#include "store/store_paths.h"

const char cIndexOnDeviceKey[32] = "IndexOnDevice";
const char cInMenuKey[32] = "InMenu";
const char cProfileClassKey[32] = "ProfileClass";
const char cFileNameKey[32] = "FileName";
const char cProfileNameKey[32] = "ProfileName";
const char cLocationKey[32] = "Location";
const char cPlistVersionKey[32] = "PlistVersion";

namespace zv {
namespace {

constexpr int kSlotDigits = 4;
// Longest numbered key: a 31-byte name, four digits and the terminator.
constexpr std::size_t kNumberedKeySize = 32 + kSlotDigits;

// Writes "<base><slot as four digits>" into `key`; returns `key`.
const char* FormatNumberedKey(std::string_view base, int slot, char (&key)[kNumberedKeySize]) {
  std::memcpy(key, base.data(), base.size());
  char* digits = key + base.size();
  for (int i = kSlotDigits - 1; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + slot % 10);
    slot /= 10;
  }
  digits[kSlotDigits] = '\0';
  return key;
}

// The slot number of a key of exactly the form "<base>NNNN" with NNNN from
// 0000 to 0499; -1 for every other key.
int DecodeSlotNumber(std::string_view key, std::string_view base) {
  if (key.size() != base.size() + kSlotDigits || key.substr(0, base.size()) != base) return -1;
  int slot = 0;
  for (const char c : key.substr(base.size())) {
    if (c < '0' || c > '9') return -1;
    slot = slot * 10 + (c - '0');
  }
  return slot < ZV_PROFILE_SLOTS ? slot : -1;
}

// Copies the path variable `path` into `*stored`; false with the reason
// when it is null or too long.
bool LoadStorePath(const char* path, StorePath* stored, std::string* error) {
  if (stored->Load(path)) return true;
  *error = path == nullptr ? "no profile list path" : "profile list path longer than 254 bytes";
  return false;
}

// The string rule of a name field: at most 31 bytes, ending at a character
// boundary (and at an embedded zero byte), zero-filled.
void StoreNameText(std::string_view text, char* field) {
  // An empty text may come without storage at all.
  if (!text.empty()) text = FieldText(text.data(), text.size());
  CopyToField(field, ZV_PROFILE_NAME_SIZE, text.substr(0, Utf8PrefixLength(text, kNameTextMax)));
}

// Decodes one value into its member of `slot`: the name field `name`, or
// when that is null the integer field `integer`. Marks it present when the
// value has the field's type.
void DecodeValue(plist_t value, const NameField* name, const IntegerField* integer, SlotEntries* slot) {
  if (name != nullptr) {
    std::string_view text;
    if (StringFromNode(value, &text)) StoreSlotText(*name, text, slot);
  } else {
    int32_t number = 0;
    if (Int32FromNode(value, &number)) StoreSlotInt(*integer, number, slot);
  }
}

// Walks one field dictionary once and decodes the entries with numbered
// keys; cheaper than looking up 500 keys one by one.
void DecodeFieldDictionary(plist_t dict, SlotField field, ClassEntries* entries) {
  const NameField* const name = FindNameField(field);
  const IntegerField* const integer = FindIntegerField(field);
  ForEachDictionaryEntry(dict, [&](std::string_view key, plist_t value) {
    const int slot = SlotNumberOfKey(key, field);
    if (slot >= 0) DecodeValue(value, name, integer, &entries->slots[slot]);
  });
}

// The numbered entries of one slot of `list`, set into the field
// dictionaries; a name that is not valid UTF-8, or holds a character that
// XML cannot carry, is left out: written, it would make the whole file
// unreadable to other property-list readers.
void AddSlotEntries(const ProfileRecord& record, int slot, const FieldDictionaries& fields) {
  char key[kNumberedKeySize];
  const auto add = [&](SlotField field, plist_t value) {
    if (value != nullptr) plist_dict_set_item(fields.of[field], FormatNumberedKey(FieldKey(field), slot, key), value);
  };
  for (const IntegerField& integer : kIntegerFields) add(integer.field, NewInt32Node(record.*integer.member));
  for (const NameField& name : kNameFields) {
    const std::string_view text = FieldText(record.*name.member);
    if (!IsXmlStringText(text)) continue;
    char terminated[ZV_PROFILE_NAME_SIZE + 1];
    CopyToField(terminated, text);
    add(name.field, plist_new_string(terminated));
  }
}

// The first class problem of `classes`, or null when all three are whole.
const std::string* FirstProblem(const ProfileClasses& classes) {
  for (const std::string& problem : classes.problem) {
    if (!problem.empty()) return &problem;
  }
  return nullptr;
}

}  // namespace

void DecodePlistClasses(plist_t root, ProfileClasses* classes) {
  for (int32_t c = 0; c < kProfileClassCount; ++c) {
    plist_t class_dict = FindClassDictionary(root, c);
    if (class_dict == nullptr) {
      classes->problem[c] = MissingDictionaryReason(c, nullptr);
      continue;
    }
    FieldDictionaries fields{};
    if (!FindFieldDictionaries(class_dict, &fields)) {
      int missing = 0;
      while (fields.of[missing] != nullptr) ++missing;
      classes->problem[c] = MissingDictionaryReason(c, FieldKey(static_cast<SlotField>(missing)));
      continue;
    }
    DecodeClassEntries(class_dict, fields, &classes->of[c]);
  }
}

const IntegerField* FindIntegerField(SlotField field) {
  for (const IntegerField& entry : kIntegerFields) {
    if (entry.field == field) return &entry;
  }
  return nullptr;
}

const NameField* FindNameField(SlotField field) {
  for (const NameField& entry : kNameFields) {
    if (entry.field == field) return &entry;
  }
  return nullptr;
}

bool IsTextField(SlotField field) { return FindNameField(field) != nullptr; }

int SlotNumberOfKey(std::string_view key, SlotField field) {
  // The field names measured once: this runs for every numbered entry.
  static const std::string_view kBases[kSlotFieldCount] = {
      FieldKey(kFieldIndexOnDevice), FieldKey(kFieldInMenu),      FieldKey(kFieldProfileClass),
      FieldKey(kFieldFileName),      FieldKey(kFieldProfileName), FieldKey(kFieldLocation)};
  return DecodeSlotNumber(key, kBases[field]);
}

void StoreSlotText(const NameField& field, std::string_view text, SlotEntries* slot) {
  StoreNameText(text, slot->values.*field.member);
  slot->present |= FieldBit(field.field);
}

void StoreSlotInt(const IntegerField& field, int32_t value, SlotEntries* slot) {
  slot->values.*field.member = value;
  slot->present |= FieldBit(field.field);
}

std::string MissingDictionaryReason(int32_t selector, const char* field) {
  const std::string class_name = std::string("\"") + ClassKey(selector) + "\"";
  if (field == nullptr) return "no class dictionary " + class_name;
  return "class " + class_name + " has no dictionary \"" + field + "\"";
}

const char* FieldKey(SlotField field) {
  switch (field) {
    case kFieldIndexOnDevice: return cIndexOnDeviceKey;
    case kFieldInMenu: return cInMenuKey;
    case kFieldProfileClass: return cProfileClassKey;
    case kFieldFileName: return cFileNameKey;
    case kFieldProfileName: return cProfileNameKey;
    default: return cLocationKey;
  }
}

const char* ClassKey(int32_t selector) {
  switch (selector) {
    case ZV_CLASS_RGB: return "RGB";
    case ZV_CLASS_SIM: return "SIM";
    case ZV_CLASS_DST: return "DST";
    default: return nullptr;
  }
}

// ---- Reading ----------------------------------------------------------------

bool DecodeProfileClasses(const std::string& data, const char* path, ProfileClasses* classes, std::string* error) {
  if (!IsBinaryPropertyList(data)) {
    // The fast reader parses a copy in place; the rare file it leaves
    // undecided is read by libplist from the bytes as they were.
    std::string parsed = data;
    if (DecodeXmlProfileList(&parsed, classes)) return true;
    for (int32_t c = 0; c < kProfileClassCount; ++c) {
      std::memset(&classes->of[c], 0, sizeof classes->of[c]);
      classes->problem[c].clear();
    }
  }
  PlistPtr root;
  if (!ParsePropertyList(data, &root, error)) {
    *error = std::string(path) + ": " + *error;
    return false;
  }
  DecodePlistClasses(root.get(), classes);
  return true;
}

bool LoadProfileClasses(const char* path, ProfileClasses* classes, std::string* error) {
  std::string data;
  return ReadWholeFile(path, &data, error) && DecodeProfileClasses(data, path, classes, error);
}

namespace {

// Copies the classes into the three lists once every class is whole, so
// that a failed read leaves all three lists as they were. False with the
// first class's problem.
bool ApplyWholeClasses(const char* path, const ProfileClasses& classes, ProfileList* rgb, ProfileList* sim,
                       ProfileList* dst, std::string* error) {
  if (const std::string* problem = FirstProblem(classes)) {
    *error = std::string(path) + ": " + *problem;
    return false;
  }
  ProfileList* const lists[kProfileClassCount] = {rgb, sim, dst};
  for (int32_t c = 0; c < kProfileClassCount; ++c) ApplyClassEntries(classes.of[c], lists[c]);
  return true;
}

// The file a read that failed with `error_number` met: missing (also a
// link to nothing) or there but unreadable, with its identity when known.
void NoteFailedOpen(const std::string& path, int error_number, ProfileListSnapshot* snapshot) {
  if (error_number == ENOENT) return;
  std::string target;
  const std::optional<FileIdentity> there =
      FollowFinalLinks(path, &target) ? IdentityAt(target) : std::optional<FileIdentity>();
  if (!there && errno == ENOENT) return;
  snapshot->state = ProfileListSnapshot::State::kUnreadable;
  if (there) snapshot->identity = *there;
}

}  // namespace

bool ReadProfileListFile(const char* path, ProfileList* rgb, ProfileList* sim, ProfileList* dst, std::string* error) {
  StorePath stored;
  if (!LoadStorePath(path, &stored, error)) return false;
  auto classes = std::make_unique<ProfileClasses>();
  if (!LoadProfileClasses(stored.c_str(), classes.get(), error)) return false;
  return ApplyWholeClasses(stored.c_str(), *classes, rgb, sim, dst, error);
}

void SnapshotProfileListFile(const char* path, ProfileLists* lists, ProfileListSnapshot* snapshot) {
  *snapshot = ProfileListSnapshot();
  *lists = ProfileLists{};
  StorePath stored;
  if (!LoadStorePath(path, &stored, &snapshot->error)) {
    snapshot->state = ProfileListSnapshot::State::kUnreadable;
    return;
  }
  std::optional<FileIdentity> opened;
  if (!ReadWholeFile(stored.c_str(), &snapshot->bytes, &snapshot->error, &opened)) {
    if (opened) {
      snapshot->state = ProfileListSnapshot::State::kUnreadable;
      snapshot->identity = *opened;
    } else {
      NoteFailedOpen(stored.c_str(), errno, snapshot);
    }
    return;
  }
  snapshot->identity = *opened;
  auto classes = std::make_unique<ProfileClasses>();
  if (!DecodeProfileClasses(snapshot->bytes, stored.c_str(), classes.get(), &snapshot->error) ||
      !ApplyWholeClasses(stored.c_str(), *classes, &lists->rgb, &lists->sim, &lists->dst, &snapshot->error)) {
    *lists = ProfileLists{};
    snapshot->state = ProfileListSnapshot::State::kUnreadable;
    snapshot->bytes.clear();
    return;
  }
  snapshot->state = ProfileListSnapshot::State::kRead;
}

std::string ProfileListBytes(const ProfileLists& lists) {
  std::string xml;
  AppendProfileListXml(lists.rgb, lists.sim, lists.dst, &xml);
  return xml;
}

bool WriteProfileListFile(const char* path, const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst,
                          std::string* error) {
  std::string xml;
  AppendProfileListXml(rgb, sim, dst, &xml);
  return WriteProfileListBytes(path, xml, error);
}

bool WriteProfileListBytes(const char* path, std::string_view bytes, std::string* error, bool* in_place_unflushed) {
  StorePath stored;
  return LoadStorePath(path, &stored, error) && ReplaceFileContents(stored.c_str(), bytes, error, in_place_unflushed);
}

bool LoadCurrentProfilePlist(PlistPtr* root) {
  StorePath path;
  if (!path.Load(ZV_PLIST_PROFILE_PATH)) return false;
  std::string ignored_error;
  return ReadPropertyListFile(path.c_str(), root, &ignored_error);
}

plist_t FindClassDictionary(plist_t root, int32_t selector) {
  const char* key = ClassKey(selector);
  if (key == nullptr || !IsDictionary(root)) return nullptr;
  plist_t dict = plist_dict_get_item(root, key);
  return IsDictionary(dict) ? dict : nullptr;
}

bool FindFieldDictionaries(plist_t class_dict, FieldDictionaries* fields) {
  for (int f = 0; f < kSlotFieldCount; ++f) {
    plist_t dict = plist_dict_get_item(class_dict, FieldKey(static_cast<SlotField>(f)));
    if (!IsDictionary(dict)) return false;
    fields->of[f] = dict;
  }
  return true;
}

void DecodeClassEntries(plist_t class_dict, const FieldDictionaries& fields, ClassEntries* entries) {
  std::memset(entries, 0, sizeof *entries);
  for (int f = 0; f < kSlotFieldCount; ++f) {
    DecodeFieldDictionary(fields.of[f], static_cast<SlotField>(f), entries);
  }
  entries->has_count = ReadDictionaryIntEntry(class_dict, kCountKey, &entries->count);
}

void CopyPresentFields(const SlotEntries& entry, uint8_t fields, ProfileRecord* record) {
  const uint8_t copy = entry.present & fields;
  for (const IntegerField& integer : kIntegerFields) {
    if ((copy & FieldBit(integer.field)) != 0) record->*integer.member = entry.values.*integer.member;
  }
  for (const NameField& name : kNameFields) {
    if ((copy & FieldBit(name.field)) != 0) {
      std::memcpy(record->*name.member, entry.values.*name.member, ZV_PROFILE_NAME_SIZE);
    }
  }
}

void ApplyClassEntries(const ClassEntries& entries, ProfileList* list) {
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    CopyPresentFields(entries.slots[slot], kAllFieldBits, &list->slots[slot]);
  }
  if (entries.has_count) list->iNum = entries.count;
  ZVPlistCheckWithInMenu_Dict(list);
}

bool ReadDictionaryIntEntry(plist_t dict, const char* key, int32_t* value) {
  if (!IsDictionary(dict) || key == nullptr) return false;
  return Int32FromNode(plist_dict_get_item(dict, key), value);
}

// ---- Writing ----------------------------------------------------------------

PlistPtr CreatePropsDictionary(const ProfileList& list) {
  PlistPtr owned[kSlotFieldCount];
  FieldDictionaries fields;
  for (int f = 0; f < kSlotFieldCount; ++f) {
    owned[f].reset(plist_new_dict());
    fields.of[f] = owned[f].get();
  }
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) AddSlotEntries(list.slots[slot], slot, fields);
  PlistPtr class_dict(plist_new_dict());
  plist_dict_set_item(class_dict.get(), kCountKey, NewInt32Node(list.iNum));
  for (const SlotField field : kWriteOrder) {
    plist_dict_set_item(class_dict.get(), FieldKey(field), owned[field].release());
  }
  return class_dict;
}

PlistPtr CreateTopLevelDictionary(const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst) {
  PlistPtr root(plist_new_dict());
  plist_dict_set_item(root.get(), ClassKey(ZV_CLASS_RGB), CreatePropsDictionary(rgb).release());
  plist_dict_set_item(root.get(), ClassKey(ZV_CLASS_SIM), CreatePropsDictionary(sim).release());
  plist_dict_set_item(root.get(), ClassKey(ZV_CLASS_DST), CreatePropsDictionary(dst).release());
  plist_dict_set_item(root.get(), cPlistVersionKey, NewInt32Node(kPlistVersion));
  return root;
}

std::unique_ptr<ProfileListLock> LockCurrentProfileList() {
  StorePath path;
  if (!path.Load(ZV_PLIST_PROFILE_PATH)) return nullptr;
  return std::make_unique<ProfileListLock>(path.c_str(), ProfileListLock::Mode::kExclusive);
}

bool WriteProfileLists(const ProfileList& rgb, const ProfileList& sim, const ProfileList& dst) {
  std::string ignored_error;
  return WriteProfileListFile(ZV_PLIST_PROFILE_PATH, rgb, sim, dst, &ignored_error);
}

}  // namespace zv

extern "C" {

int32_t ZVPListReadProfile_All(ProfileList* rgb, ProfileList* sim, ProfileList* dst) {
  if (rgb == nullptr || sim == nullptr || dst == nullptr) return -1;
  std::string ignored_error;
  return zv::ReadProfileListFile(ZV_PLIST_PROFILE_PATH, rgb, sim, dst, &ignored_error) ? 0 : -1;
}

int32_t ZVPListWriteProfile_All(const ProfileList* rgb, const ProfileList* sim, const ProfileList* dst) {
  if (rgb == nullptr || sim == nullptr || dst == nullptr) return -1;
  const auto lock = zv::LockCurrentProfileList();
  if (ZVPListIsAdminProfile() == 0) return -1;
  return zv::WriteProfileLists(*rgb, *sim, *dst) ? 0 : -1;
}

}  // extern "C"
