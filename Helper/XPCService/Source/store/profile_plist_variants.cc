// SPDX-License-Identifier: MIT
// The one-class readers and writer, the filtering reader, the mapping rule
// and the mapping writer, and the accessors that hand out the file's own
// dictionaries. The list readers decode the current profile property list
// through LoadProfileClasses, as the whole-file reader does; the accessors
// hand out libplist's own nodes.
#include <algorithm>
#include <memory>
#include <string>

#include "platform/fixed_field.h"
#include "store/profile_lists.h"
#include "store/profile_plist_private.h"
#include "store/store_paths.h"

namespace zv {
namespace {

/// True when the current path variable names a path the store may use.
bool CurrentPathUsable() {
  StorePath path;
  return path.Load(ZV_PLIST_PROFILE_PATH);
}

// ---- Filtering reader ---------------------------------------------------------

/// Decodes the current file and returns its classes; null when the file
/// cannot be loaded or the class `selector` or one of its field
/// dictionaries is missing.
std::unique_ptr<ProfileClasses> LoadCurrentClass(int32_t selector) {
  StorePath path;
  if (!path.Load(ZV_PLIST_PROFILE_PATH)) return nullptr;
  auto classes = std::make_unique<ProfileClasses>();
  std::string ignored_error;
  if (!LoadProfileClasses(path.c_str(), classes.get(), &ignored_error) || !classes->problem[selector].empty()) {
    return nullptr;
  }
  return classes;
}

/// Copies one source slot into `*destination` by the filtering rule: a
/// record that the last walk reported (2) is dropped, returning false with
/// nothing copied; a kept record that it reported (4) is read as missed
/// (6). The menu state is looked at first, then the other fields follow.
bool CopyFilteredSlot(const SlotEntries& source, ProfileRecord* destination) {
  if ((source.present & FieldBit(kFieldInMenu)) != 0) {
    const int32_t state = source.values.InMenu;
    if (state == ZV_INMENU_REPORTED) return false;
    destination->InMenu = state == ZV_INMENU_KEPT_REPORTED ? ZV_INMENU_KEPT_MISSING : state;
  }
  CopyPresentFields(source, kAllFieldBits & ~FieldBit(kFieldInMenu), destination);
  return true;
}

/// Fills `*list` from a decoded class, source slot i into destination slot
/// j, where j stays behind i by the number of dropped records. The count
/// in the file still includes the dropped records; the normalisation then
/// sets it to the records kept.
void ApplyFilteredClassEntries(const ClassEntries& entries, ProfileList* list) {
  int destination = 0;
  for (const SlotEntries& source : entries.slots) {
    if (CopyFilteredSlot(source, &list->slots[destination])) ++destination;
  }
  if (entries.has_count) list->iNum = entries.count;
  ZVPlistCheckWithInMenu_Dict(list);
}

// ---- Mapping rule -------------------------------------------------------------

/// True when one of the counted slots of `list` holds the profile of `record`.
bool ListHolds(const ProfileList& list, const ProfileRecord& record) {
  const int counted = SearchedSlots(list);
  for (int slot = 0; slot < counted; ++slot) {
    if (SameProfile(list.slots[slot], record)) return true;
  }
  return false;
}

/// True for the states of a record that the last walk found on the device.
bool ReportedByLastWalk(int32_t state) { return state == ZV_INMENU_REPORTED || state == ZV_INMENU_KEPT_REPORTED; }

/// The mapping rule into an `out` that is none of the inputs. The file's
/// records come first and always fit (one at most per counted file slot);
/// the base records fill up what remains of the 500 slots.
void MapInto(const ProfileList& base, const ProfileList& file, const ProfileList& exclude, ProfileList* out) {
  int mapped = 0;
  const int file_slots = SearchedSlots(file);
  for (int slot = 0; slot < file_slots; ++slot) {
    const ProfileRecord& record = file.slots[slot];
    if (!ReportedByLastWalk(record.InMenu) || ListHolds(base, record) || ListHolds(exclude, record)) continue;
    out->slots[mapped++] = record;
  }
  const int base_slots = SearchedSlots(base);
  for (int slot = 0; slot < base_slots && mapped < ZV_PROFILE_SLOTS; ++slot) out->slots[mapped++] = base.slots[slot];
  out->iNum = mapped;
}

}  // namespace
}  // namespace zv

extern "C" {

// ---- One class ------------------------------------------------------------------

int32_t ZVPListReadProfile_Dict(ProfileList* list, int32_t selector) {
  if (list == nullptr || zv::ClassKey(selector) == nullptr) return -1;
  const auto classes = zv::LoadCurrentClass(selector);
  if (classes == nullptr) return -1;
  zv::ApplyClassEntries(classes->of[selector], list);
  return 0;
}

int32_t ZVPListReadProfile_Dict_Pap(ProfileList* list, int32_t selector) {
  if (list == nullptr || zv::ClassKey(selector) == nullptr) return -1;
  const auto classes = zv::LoadCurrentClass(selector);
  if (classes == nullptr) return -1;
  zv::ApplyFilteredClassEntries(classes->of[selector], list);
  return 0;
}

int32_t ZVPListWriteProfile_Dict(const ProfileList* list, int32_t selector, ProfileList* rgbOut, ProfileList* simOut,
                                 ProfileList* dstOut) {
  if (list == nullptr || zv::ClassKey(selector) == nullptr || !zv::CurrentPathUsable()) return -1;
  ProfileList* const out[zv::kProfileClassCount] = {rgbOut, simOut, dstOut};
  // The caller's list may also be one of the outputs, which are filled from
  // the file before the write: the list to write is then taken aside first.
  ProfileList aside;
  const ProfileList* given = list;
  if (list == rgbOut || list == simOut || list == dstOut) {
    aside = *list;
    given = &aside;
  }
  // The lists written back are the ones read under the same hold.
  const auto lock = zv::LockCurrentProfileList();
  zv::ProfileLists read{};
  (void)ZVPListReadProfile_All(&read.rgb, &read.sim, &read.dst);
  for (int32_t c = 0; c < zv::kProfileClassCount; ++c) {
    if (out[c] != nullptr) *out[c] = *read.of(c);
  }
  const ProfileList* written[zv::kProfileClassCount] = {&read.rgb, &read.sim, &read.dst};
  written[selector] = given;
  const int32_t result =
      ZVPListIsAdminProfile() != 0 && zv::WriteProfileLists(*written[0], *written[1], *written[2]) ? 0 : -1;
  if (out[selector] != nullptr) *out[selector] = *given;
  return result;
}

// ---- Mapping --------------------------------------------------------------------

void ZVPListMapping_Pap(const ProfileList* base, const ProfileList* fileList, ProfileList* out,
                        const ProfileList* exclude) {
  if (base == nullptr || fileList == nullptr || out == nullptr || exclude == nullptr) return;
  if (out != base && out != fileList && out != exclude) {
    zv::MapInto(*base, *fileList, *exclude, out);
    return;
  }
  // Mapping in place: build apart, or the first records copied would
  // overwrite input records not yet read.
  ProfileList mapped{};
  zv::MapInto(*base, *fileList, *exclude, &mapped);
  *out = mapped;
}

int32_t ZVPListMappingProfile_All_Pap(const ProfileList* rgbBase, const ProfileList* simBase,
                                      const ProfileList* dstBase, ProfileList* rgbOut, ProfileList* simOut,
                                      ProfileList* dstOut, const ProfileList* rgbExclude,
                                      const ProfileList* simExclude, const ProfileList* dstExclude) {
  const void* const arguments[] = {rgbBase, simBase, dstBase, rgbOut, simOut, dstOut, rgbExclude, simExclude, dstExclude};
  if (std::find(std::begin(arguments), std::end(arguments), nullptr) != std::end(arguments)) return -1;
  if (!zv::CurrentPathUsable()) return -1;
  // A missing or unreadable file leaves the file lists empty: the caller's
  // base lists are then mapped alone.
  zv::ProfileLists file{};
  (void)ZVPListReadProfile_All(&file.rgb, &file.sim, &file.dst);
  ZVPListMapping_Pap(rgbBase, &file.rgb, rgbOut, rgbExclude);
  ZVPListMapping_Pap(simBase, &file.sim, simOut, simExclude);
  ZVPListMapping_Pap(dstBase, &file.dst, dstOut, dstExclude);
  return 0;
}

int32_t ZVPListWriteProfile_All_Pap(const ProfileList* rgbBase, const ProfileList* simBase, const ProfileList* dstBase,
                                    const ProfileList* rgbExclude, const ProfileList* simExclude,
                                    const ProfileList* dstExclude) {
  const void* const arguments[] = {rgbBase, simBase, dstBase, rgbExclude, simExclude, dstExclude};
  if (std::find(std::begin(arguments), std::end(arguments), nullptr) != std::end(arguments)) return -1;
  if (!zv::CurrentPathUsable()) return -1;
  zv::ProfileLists mapped{};
  const auto lock = zv::LockCurrentProfileList();
  if (ZVPListIsAdminProfile() == 0) return -1;
  if (ZVPListMappingProfile_All_Pap(rgbBase, simBase, dstBase, &mapped.rgb, &mapped.sim, &mapped.dst, rgbExclude,
                                    simExclude, dstExclude) != 0) {
    return -1;
  }
  return zv::WriteProfileLists(mapped.rgb, mapped.sim, mapped.dst) ? 0 : -1;
}

// ---- The file's dictionaries ---------------------------------------------------

int32_t ZVPListMappingGetMainDict_FromPlist(plist_t* rgbDict, plist_t* simDict, plist_t* dstDict) {
  plist_t* const out[zv::kProfileClassCount] = {rgbDict, simDict, dstDict};
  if (rgbDict == nullptr || simDict == nullptr || dstDict == nullptr) return -1;
  zv::PlistPtr root;
  if (!zv::LoadCurrentProfilePlist(&root)) return -1;
  for (int32_t c = 0; c < zv::kProfileClassCount; ++c) {
    plist_t class_dict = zv::FindClassDictionary(root.get(), c);
    plist_t copy = class_dict != nullptr ? plist_copy(class_dict) : nullptr;
    if (copy == nullptr) return -1;
    *out[c] = copy;
  }
  return 0;
}

int32_t ZVPListMappingGetSubDict(plist_t classDict, plist_t* indexOnDevice, plist_t* inMenu, plist_t* profileClass,
                                 plist_t* location, plist_t* fileName, plist_t* profileName, int32_t* iNum) {
  plist_t* out[zv::kSlotFieldCount];
  out[zv::kFieldIndexOnDevice] = indexOnDevice;
  out[zv::kFieldInMenu] = inMenu;
  out[zv::kFieldProfileClass] = profileClass;
  out[zv::kFieldFileName] = fileName;
  out[zv::kFieldProfileName] = profileName;
  out[zv::kFieldLocation] = location;
  if (!zv::IsDictionary(classDict) || iNum == nullptr) return -1;
  if (std::find(std::begin(out), std::end(out), nullptr) != std::end(out)) return -1;
  // The lookup stops at the first missing field dictionary; those found
  // before it are handed out all the same.
  zv::FieldDictionaries fields{};
  const bool complete = zv::FindFieldDictionaries(classDict, &fields);
  for (int f = 0; f < zv::kSlotFieldCount; ++f) {
    if (fields.of[f] != nullptr) *out[f] = fields.of[f];
  }
  if (!complete) return -1;
  (void)zv::ReadDictionaryIntEntry(classDict, zv::kCountKey, iNum);
  return 0;
}

}  // extern "C"
