// SPDX-License-Identifier: MIT
#include "reader_agreement.h"

#include <cstdio>
#include <cstring>

#include "store/profile_plist_xml.h"

namespace zvtest {
namespace {

// A list whose every byte is set, so that a field a reader leaves alone is
// told apart from one it clears.
void FillPattern(ProfileList* list) {
  std::memset(list, 0x5A, sizeof *list);
  list->iNum = 7;
  for (ProfileRecord& slot : list->slots) slot.InMenu = 1;
}

std::string SlotDifference(int c, int slot, const zv::SlotEntries& a, const zv::SlotEntries& b) {
  if (a.present != b.present) {
    return "class " + std::to_string(c) + " slot " + std::to_string(slot) + ": present fields " +
           std::to_string(a.present) + " against " + std::to_string(b.present);
  }
  ProfileRecord left{}, right{};
  zv::CopyPresentFields(a, zv::kAllFieldBits, &left);
  zv::CopyPresentFields(b, zv::kAllFieldBits, &right);
  if (std::memcmp(&left, &right, sizeof left) != 0) {
    return "class " + std::to_string(c) + " slot " + std::to_string(slot) + ": values differ";
  }
  return "";
}

std::string ClassDifference(int c, const zv::ClassEntries& a, const zv::ClassEntries& b) {
  if (a.has_count != b.has_count || (a.has_count && a.count != b.count)) {
    return "class " + std::to_string(c) + ": counts differ";
  }
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    std::string difference = SlotDifference(c, slot, a.slots[slot], b.slots[slot]);
    if (!difference.empty()) return difference;
  }
  auto left = std::make_unique<ProfileList>(), right = std::make_unique<ProfileList>();
  FillPattern(left.get());
  FillPattern(right.get());
  zv::ApplyClassEntries(a, left.get());
  zv::ApplyClassEntries(b, right.get());
  return std::memcmp(left.get(), right.get(), sizeof *left) == 0 ? "" : "class " + std::to_string(c) + ": lists differ";
}

}  // namespace

ReaderOutcome ReadFast(std::string_view data) {
  ReaderOutcome outcome;
  std::string xml(data);
  outcome.read = zv::DecodeXmlProfileList(&xml, outcome.classes.get());
  return outcome;
}

ReaderOutcome ReadThroughLibplist(std::string_view data) {
  ReaderOutcome outcome;
  zv::PlistPtr root;
  std::string error;
  outcome.read = zv::ParsePropertyList(data, &root, &error);
  if (outcome.read) zv::DecodePlistClasses(root.get(), outcome.classes.get());
  return outcome;
}

ReaderOutcome ReadAsStored(std::string_view data, const std::string& path) {
  ReaderOutcome outcome;
  // A fresh file each time: the file system flushes a file cut to nothing
  // and written again before it lets the next open cut it, at the cost of
  // a disk write per case.
  std::remove(path.c_str());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return outcome;
  const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  if (std::fclose(file) != 0 || !written) return outcome;
  std::string error;
  outcome.read = zv::LoadProfileClasses(path.c_str(), outcome.classes.get(), &error);
  return outcome;
}

std::string ClassesDifference(const ReaderOutcome& fast, const ReaderOutcome& reference) {
  if (!reference.read) return "libplist finds no property list where the fast reader reads one";
  for (int c = 0; c < 3; ++c) {
    if (fast.classes->problem[c] != reference.classes->problem[c]) {
      return "class " + std::to_string(c) + ": \"" + fast.classes->problem[c] + "\" against \"" +
             reference.classes->problem[c] + "\"";
    }
    if (!fast.classes->problem[c].empty()) continue;
    std::string difference = ClassDifference(c, fast.classes->of[c], reference.classes->of[c]);
    if (!difference.empty()) return difference;
  }
  return "";
}

}  // namespace zvtest
