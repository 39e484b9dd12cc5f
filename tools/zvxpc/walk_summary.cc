// SPDX-License-Identifier: MIT
#include "zvxpc/walk_summary.h"

#include <cstdlib>
#include <set>
#include <string_view>

#include "platform/fixed_field.h"

namespace zvxpc {
namespace {

constexpr const char* kClassNames[3] = {"RGB", "SIM", "DST"};

// The file names of the entries of `list` that its menu shows.
std::set<std::string> NamesInMenu(const ProfileList& list) {
  std::set<std::string> names;
  for (const ProfileRecord& slot : list.slots) {
    if (ShownInMenu(slot)) names.emplace(zv::FieldText(slot.FileName, ZV_PROFILE_NAME_SIZE));
  }
  return names;
}

// The names of `from` that `without` lacks, joined with ", ".
std::string NamesMissingFrom(const std::set<std::string>& from, const std::set<std::string>& without) {
  std::string joined;
  for (const std::string& name : from) {
    if (without.count(name) != 0) continue;
    if (!joined.empty()) joined += ", ";
    joined += name;
  }
  return joined;
}

int EntriesInMenu(const ProfileList& list) {
  int shown = 0;
  for (const ProfileRecord& slot : list.slots) shown += ShownInMenu(slot) ? 1 : 0;
  return shown;
}

std::string ClassLine(const char* class_name, const ProfileList& before, const ProfileList& after) {
  const std::set<std::string> was = NamesInMenu(before), is = NamesInMenu(after);
  const std::string entered = NamesMissingFrom(is, was), left = NamesMissingFrom(was, is);
  std::string line = std::string(class_name) + ": " + std::to_string(EntriesInMenu(after)) + " in the menu";
  if (entered.empty() && left.empty()) return line;
  line += " (";
  if (!entered.empty()) line += "entered: " + entered;
  if (!entered.empty() && !left.empty()) line += "; ";
  if (!left.empty()) line += "left: " + left;
  return line + ")";
}

}  // namespace

bool ShownInMenu(const ProfileRecord& entry) { return zvplist_in_menu(entry.InMenu) != 0; }

std::unique_ptr<ListSnapshot> EmptySnapshot() { return std::make_unique<ListSnapshot>(); }

std::unique_ptr<ListSnapshot> ReadSnapshot(const char* path, std::string* error) {
  auto snapshot = EmptySnapshot();
  char* reason = nullptr;
  if (zvplist_read(path, &snapshot->classes[0], &snapshot->classes[1], &snapshot->classes[2], &reason) == 0) {
    return snapshot;
  }
  *error = reason != nullptr ? reason : "out of memory";
  std::free(reason);
  return nullptr;
}

std::vector<std::string> SummaryLines(const ListSnapshot& before, const ListSnapshot& after) {
  std::vector<std::string> lines;
  for (int c = 0; c < 3; ++c) lines.push_back(ClassLine(kClassNames[c], before.classes[c], after.classes[c]));
  return lines;
}

bool NoEntryReported(const ListSnapshot& after) {
  for (const ProfileList& list : after.classes) {
    for (const ProfileRecord& slot : list.slots) {
      if (slot.InMenu == ZV_INMENU_REPORTED || slot.InMenu == ZV_INMENU_KEPT_REPORTED) return false;
    }
  }
  return true;
}

}  // namespace zvxpc
