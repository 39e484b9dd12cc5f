// SPDX-License-Identifier: MIT
#include "walk/walk_fixture.h"

#include <gtest/gtest.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/snmpusm.h>

#include <cstring>
#include <sstream>

#include "list_update/list_update.h"
#include "platform/fixed_field.h"
#include "report/walk_protocol.h"
#include "support/snmp_agents.h"
#include "walk/walk_driver.h"
#include "walk/walk_settings.h"

namespace zvtest {

ProfileRecord Profile(const std::string& file_name, int location, int in_menu, int index_on_device,
                      int profile_class) {
  ProfileRecord record{};
  record.IndexOnDevice = index_on_device;
  record.InMenu = in_menu;
  record.ProfileClass = profile_class;
  zv::CopyToField(record.FileName, file_name);
  zv::CopyToField(record.ProfileName, "Name of " + file_name);
  record.Location = location;
  return record;
}

void Put(ProfileList& list, int slot, const ProfileRecord& record) { list.slots[slot] = record; }

std::vector<int> SlotsNamed(const ProfileList& list, const std::string& file_name) {
  std::vector<int> slots;
  for (int slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
    if (zv::FieldText(list.slots[slot].FileName) == file_name) slots.push_back(slot);
  }
  return slots;
}

int UsedSlots(const ProfileList& list) {
  int used = 0;
  for (const ProfileRecord& record : list.slots) used += record.InMenu != 0;
  return used;
}

namespace {

// Each walk ships in a process of its own. The library makes an SNMPv3
// user of a session's name and keys for each device, and a later session
// for the same user and device would get that user's keys: a walk of the
// tests begins without the users of the walks before it, as in a fresh
// process.
void ForgetEarlierSnmpUsers() {
  while (struct usmUser* user = usm_get_userList()) {
    usm_remove_user(user);
    user->next = nullptr;
    user->prev = nullptr;
    usm_free_user(user);
  }
}

}  // namespace

int WalkVector(int argc, char** argv) {
  ForgetEarlierSnmpUsers();
  const int32_t start_count = numprinted;
  const int result = mib_walk(argc, argv);
  if (result == zv::kWalkAbandoned) return result;
  zv::WalkReport report;
  zv::WalkReportReader reader(start_count, nullptr);
  EXPECT_TRUE(reader.Feed(zv::EncodeWalkOutcome(result), &report)) << reader.problem();
  EXPECT_TRUE(report.end.has_value());
  if (report.end) {
    (void)zv::UpdateProfileListFile(ZV_PLIST_PROFILE_PATH, report.end->result, *report.spool);
  }
  return result;
}

int Walk(const std::vector<std::string>& arguments) {
  std::vector<std::string> copies = {"mib_walk"};
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return WalkVector(static_cast<int>(copies.size()), argv.data());
}

CurrentPlist::CurrentPlist(const std::string& path) : path_(path.begin(), path.end()) {
  path_.push_back('\0');
  ZV_PLIST_PROFILE_PATH = path_.data();
}

CurrentPlist::~CurrentPlist() { ZV_PLIST_PROFILE_PATH = nullptr; }

bool CurrentPlist::Write(const zv::ProfileLists& lists) {
  return ZVPListWriteProfile_All(&lists.rgb, &lists.sim, &lists.dst) == 0;
}

bool CurrentPlist::Read(zv::ProfileLists& lists) {
  lists = zv::ProfileLists{};
  return ZVPListReadProfile_All(&lists.rgb, &lists.sim, &lists.dst) == 0;
}

bool CurrentPlist::SeedMergeProbe() {
  zv::ProfileLists lists{};
  Put(lists.rgb, 0, Profile("SEED.ICC", 4, ZV_INMENU_REPORTED, 9));
  lists.rgb.iNum = 1;
  return Write(lists);
}

int CurrentPlist::MergeToldResult() {
  zv::ProfileLists lists{};
  if (!Read(lists)) return -1;
  const std::vector<int> slots = SlotsNamed(lists.rgb, "SEED.ICC");
  const int32_t state = slots.empty() ? ZV_INMENU_EMPTY : lists.rgb.slots[slots.front()].InMenu;
  if (state == ZV_INMENU_EMPTY) return 1;
  return state == ZV_INMENU_LISTED ? 0 : -1;
}

void ResetWalkSettings() {
  for (zv::WalkSetting setting : {zv::WalkSetting::kIncludeRequested, zv::WalkSetting::kPrintStatistics,
                                  zv::WalkSetting::kDontCheckOrdering}) {
    if (zv::WalkSettingOn(setting)) zv::ToggleWalkSetting(setting);
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string RepeatingSnmprec() {
  return ProfileCellOid(1, 1) + "|2|11\n" + ProfileCellOid(1, 2) + "|2:error|op=get,status=generror,value=1\n" +
         ProfileCellOid(1, 3) + "|2|13\n";
}

}  // namespace zvtest
