// SPDX-License-Identifier: MIT
// What `zvxpcd --verbose` adds to the log file for a walk request: one
// entry after the usual line, naming user, model, device, result and the
// reason a person can act on; and that without --verbose the log keeps its
// single line per walk.
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "walk_service.h"

namespace {

constexpr const char* kWalkLine = "xpc - mibwalk_XPC - iRet=";

using VerboseWalkTest = zvtest::WalkServiceTest;

TEST_F(VerboseWalkTest, SilentDeviceAndRefusedNameAreToldWithTheirReasons) {
  StartService(/*default_directory=*/false, {"--verbose"});
  zvtest::SilentDevice device;
  EXPECT_EQ(Walk("PX-100", "alice", zvtest::TableWalkArguments(device.address())), "iRet=1");
  EXPECT_EQ(Walk("PX-100", "../bob", zvtest::TableWalkArguments(device.address())), "iRet=-1");
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            std::string(kWalkLine) + "1",
                            "xpc - mibwalk_XPC - user 'alice' model 'PX-100' device '" + device.address() +
                                "' iRet=1: " + device.address() + " did not answer within 1 s (3 retries) (check the address and the community: a device drops a "
                                "request with a community it does not know)",
                            std::string(kWalkLine) + "-1",
                            "xpc - mibwalk_XPC - user '../bob' model 'PX-100' device '' iRet=-1: refused request: "
                            "a user or model name holds '/' or is '.' or '..', which would leave the preferences "
                            "folder",
                        }))
      << ServiceStderr();
  EXPECT_EQ(PreferencesEntries(), std::vector<std::string>{"alice-PX-100-profile.plist"});
}

// A walk reaches its printer over UDP or TCP alone: an address on another
// transport (here the service's own socket) ends the walk before any request.
TEST_F(VerboseWalkTest, AnAddressOnAnotherTransportEndsTheWalk) {
  StartService(/*default_directory=*/false, {"--verbose"});
  EXPECT_EQ(Walk("PX-100", "alice", zvtest::TableWalkArguments("unix:" + socket_path())), "iRet=1");
  EXPECT_NE(LogLines().back().find("iRet=1: the walk reaches printers over UDP or TCP (IPv4 or IPv6) only"),
            std::string::npos)
      << LogLines().back();
}

// A printer deaf to GETBULK: each walk goes on by GETNEXT after the
// GETBULK's one try and says so; after two such walks in a row the service
// takes the printer as deaf (whatever its address is spelt like), and its
// next walk sends no GETBULK and says why. Every walk leaves the list of
// printer A.
TEST_F(VerboseWalkTest, PrinterDeafToGetBulkTwiceInARowIsWalkedByGetNext) {
  zvtest::TempDir scratch;
  std::vector<std::string> arguments = {"--log", scratch.File("requests"), "--bulk", "drop:1"};
  for (const zvtest::ProfileTableRow& r : zvtest::PrinterATable()) {
    for (const auto& [column, value] : {std::pair{1, std::to_string(r.index_on_device)},
                                        {2, std::to_string(r.source_type)}, {3, "s:" + r.profile_name},
                                        {4, "s:" + r.file_name}, {5, std::to_string(r.profile_class)},
                                        {7, std::to_string(r.availability)}}) {
      arguments.push_back(zvtest::ProfileCellOid(column, r.row) + "=" + value);
    }
  }
  std::string error;
  const auto printer = zvtest::SnmpAgent::StartPortPrinter(ZV_SCRIPTED_RESPONDER, arguments, &error);
  ASSERT_NE(printer, nullptr) << error;
  StartService(/*default_directory=*/false, {"--verbose"});
  const std::string lost = "the device left the walk's first GETBULK request unanswered";
  const std::string deaf = "the device left GETBULK requests unanswered in two walks in a row; the walk went by "
                           "GETNEXT (GETBULK is tried again 15 minutes after)";
  const struct {
    std::string address;
    std::string reason;
    bool getbulk;
  } walks[] = {{printer->address(), lost, true}, {"udp:" + printer->address(), lost, true},
               {printer->address(), deaf, false}};
  for (const auto& walk : walks) {
    zvtest::WriteFile(scratch.File("requests"), "");
    EXPECT_EQ(Walk("PX-100", "alice", zvtest::TableWalkArguments(walk.address)), "iRet=0");
    EXPECT_NE(LogLines().back().find(walk.reason), std::string::npos) << LogLines().back();
    EXPECT_EQ(zvtest::ReadFile(scratch.File("requests")).find("GETBULK") != std::string::npos, walk.getbulk);
    const zvtest::StoredProfiles lists = zvtest::ReadStoredProfiles(CurrentPlist("alice", "PX-100"));
    EXPECT_EQ(lists.rgb.size() + lists.sim.size() + lists.dst.size(), 4u);
  }
}

// A folder in the place of alice's list: the walk succeeds, its list
// cannot be written. Only --verbose tells why.
using UnwritableListTest = zvtest::PrinterAWalkTest;

TEST_F(UnwritableListTest, OnlyTheVerboseLogTellsWhy) {
  ASSERT_EQ(::mkdir(CurrentPlist("alice", "PX-100").c_str(), 0755), 0);
  std::vector<std::string> expected;
  for (const bool verbose : {false, true}) {
    service_.reset();
    StartService(/*default_directory=*/false, std::vector<std::string>(verbose ? 1 : 0, "--verbose"));
    EXPECT_EQ(Walk("PX-100", "alice", zvtest::TableWalkArguments(printer_->address())), "iRet=0");
    expected.push_back(std::string(kWalkLine) + "0");
    if (verbose) {
      expected.push_back("xpc - mibwalk_XPC - user 'alice' model 'PX-100' device '" + printer_->address() +
                         "' iRet=0: 3 rows, 3 classes; the profile list '" + CurrentPlist("alice", "PX-100") +
                         "' could not be written: '" + CurrentPlist("alice", "PX-100") +
                         "' leads to a directory, not a regular file");
    }
    EXPECT_EQ(LogLines(), expected) << ServiceStderr();
  }
}

}  // namespace
