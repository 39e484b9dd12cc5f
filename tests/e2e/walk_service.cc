// SPDX-License-Identifier: MIT
#include "walk_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/fixed_field.h"
#include "support/log_file.h"
#include "service_calls.h"
#include "store/zvplist.h"

namespace zvtest {
namespace {

SlotSummary Summarise(const ProfileList& list) {
  SlotSummary summary;
  for (const ProfileRecord& slot : list.slots) {
    if (slot.InMenu == 0) continue;
    summary.push_back(std::string(zv::FieldText(slot.FileName)) + " " + std::to_string(slot.Location) + " " +
                      std::to_string(slot.InMenu));
  }
  return summary;
}

}  // namespace

const std::vector<ProfileTableRow>& PrinterATable() {
  static const std::vector<ProfileTableRow> table = {
      {1, 11, 4, "Office RGB", "OFFICE.ICC", 1, 1},
      {2, 12, 5, "Proof", "PROOF.ICC", 3, 1},
      {3, 13, 4, "Photo", "PHOTO.ICC", 2, 1},
  };
  return table;
}

const std::vector<ProfileTableRow>& PrinterBTable() {
  static const std::vector<ProfileTableRow> table = {
      {1, 21, 4, "Matte", "MATTE.ICC", 1, 1},
      {2, 22, 4, "Fine art", "FINEART.ICC", 3, 1},
      {3, 23, 5, "Glossy", "GLOSSY.ICC", 2, 1},
  };
  return table;
}

StoredProfiles ReadStoredProfiles(const std::string& path) {
  auto lists = std::make_unique<ProfileList[]>(3);  // cleared, about 44 KB each
  std::vector<char> path_buffer(path.begin(), path.end());
  path_buffer.push_back('\0');
  ZV_PLIST_PROFILE_PATH = path_buffer.data();
  const int32_t result = ZVPListReadProfile_All(&lists[0], &lists[1], &lists[2]);
  ZV_PLIST_PROFILE_PATH = nullptr;
  StoredProfiles stored;
  stored.read = result == 0;
  if (stored.read) {
    stored.rgb = Summarise(lists[0]);
    stored.sim = Summarise(lists[1]);
    stored.dst = Summarise(lists[2]);
  }
  return stored;
}

std::string WalkRequestText(const std::string& model, const std::string& user,
                            const std::vector<std::string>& arguments) {
  std::string text = model + ":ModelName:END" + user + ":USErName:END" + "e2e:arg:";
  for (const std::string& argument : arguments) text += argument + ":arg:";
  return text;
}

std::vector<std::string> TableWalkArguments(const std::string& address) {
  return {"-v", "2c", "-c", "public", address, ProfileTableOid()};
}

std::string SendWalkRequest(const std::string& socket_path, const std::optional<std::string>& text) {
  return CallOnce(socket_path, ZVXPC_OP_WALK, text);
}

void WalkServiceTest::SetUp() {
  // zvxpcd inherits SNMPCONFPATH and SNMP_PERSISTENT_DIR from this process.
  UsePrivateSnmpClientConfig();
  preferences_dir_ = dir_.File("prefs") + "/";
  ASSERT_EQ(::mkdir(preferences_dir_.c_str(), 0755), 0);
}

void WalkServiceTest::TearDown() {
  if (service_ && service_->ok()) {
    EXPECT_EQ(service_->Stop(), 0) << ServiceStderr();
  }
}

void WalkServiceTest::StartService(bool default_directory, const std::vector<std::string>& extra) {
  std::vector<std::string> options = {"--log-file", dir_.File("walk.log")};
  options.insert(options.end(), extra.begin(), extra.end());
  if (!default_directory) {
    options.push_back("--preferences-dir");
    options.push_back(preferences_dir_);
  }
  service_ = std::make_unique<ServiceProcess>(dir_.path(), options);
  ASSERT_TRUE(service_->ok()) << ServiceStderr();
}

std::string WalkServiceTest::Walk(const std::string& model, const std::string& user,
                                  const std::vector<std::string>& arguments) {
  return SendWalkRequest(socket_path(), WalkRequestText(model, user, arguments));
}

std::string WalkServiceTest::CurrentPlist(const std::string& user, const std::string& model) const {
  return preferences_dir_ + user + "-" + model + "-profile.plist";
}

std::vector<std::string> WalkServiceTest::PreferencesEntries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(preferences_dir_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> WalkServiceTest::LogLines() const { return LogFileLines(dir_.File("walk.log")); }

std::string WalkServiceTest::ServiceStderr() const { return ReadFile(dir_.File("zvxpcd.stderr")); }

std::unique_ptr<SnmpAgent> PrinterAWalkTest::printer_;

void PrinterAWalkTest::SetUpTestSuite() {
  std::string error;
  printer_ = SnmpAgent::StartSnmpd(ProfileTableOverrides(PrinterATable()), &error);
  ASSERT_NE(printer_, nullptr) << error;
}

void PrinterAWalkTest::TearDownTestSuite() { printer_.reset(); }

void PrinterAWalkTest::SetUp() {
  ASSERT_NE(printer_, nullptr) << "printer A did not start";
  WalkServiceTest::SetUp();
}

}  // namespace zvtest
