// SPDX-License-Identifier: MIT
// Every walk result through the real zvxpcd: the reply "iRet=N", the log
// line "xpc - mibwalk_XPC - iRet=N" for each walk request, and what the
// merge then leaves in the profile list (a walk that fails empties the
// menu entries it did not report; a refused request touches nothing).
#include <signal.h>

#include <future>
#include <string>
#include <vector>

#include "walk_service.h"

namespace {

using zvtest::ProfileCellOid;
using zvtest::ReadStoredProfiles;
using zvtest::SlotSummary;
using zvtest::SnmpAgent;
using zvtest::StoredProfiles;

class WalkResultsTest : public zvtest::PrinterAWalkTest {
 protected:
  void SetUp() override {
    PrinterAWalkTest::SetUp();
    StartService();
  }

  std::string WalkAlice(const std::vector<std::string>& arguments) { return Walk("PX-100", "alice", arguments); }
  StoredProfiles AliceLists() { return ReadStoredProfiles(CurrentPlist("alice", "PX-100")); }

  // A first walk of printer A: every row new, in state 2.
  void WalkPrinterA() {
    ASSERT_EQ(WalkAlice(zvtest::TableWalkArguments(printer_->address())), "iRet=0") << ServiceStderr();
    const StoredProfiles stored = AliceLists();
    ASSERT_TRUE(stored.read);
    ASSERT_EQ(stored.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
    ASSERT_EQ(stored.sim, SlotSummary{"PROOF.ICC 5 2"});
  }
};

TEST_F(WalkResultsTest, EachResultIsRepliedAndLoggedOncePerRequest) {
  zvtest::SilentDevice silent;
  const std::string table = zvtest::ProfileTableOid();
  const std::string address = printer_->address();
  struct Case {
    std::vector<std::string> arguments;
    std::string reply;
  };
  const Case cases[] = {
      {{"-v", "2c", "-c", "public", address, table}, "iRet=0"},                    // the whole table
      {{"-v", "2c", "-c", "public", address, "1.3.x"}, "iRet=1"},                  // root does not parse
      {{"-v", "2c", "-c", "public", "-r", "0", "-t", "1", silent.address(), table}, "iRet=1"},  // timeout
      {{"-v", "9", "-c", "public", address, table}, "iRet=-1"},                    // no such version
      {{"-v", "2c", address, table}, "iRet=-1"},                                   // no community
      {{"-v", "2c", "-c", "public"}, "iRet=-1"},                                   // no address
      {{"-v", "3", "-u", "bob", "-A", "secret phrase", address, table}, "iRet=-2"},  // a pass phrase
      {{"-H"}, "iRet=-2"},                                                         // configuration help
  };
  std::vector<std::string> expected_log;
  for (const Case& c : cases) {
    EXPECT_EQ(WalkAlice(c.arguments), c.reply) << c.arguments.back();
    expected_log.push_back("xpc - mibwalk_XPC - " + c.reply);
  }
  EXPECT_EQ(LogLines(), expected_log);
}

// A stop is not a failed walk: the walk in progress is abandoned, writes
// nothing, and its client hears why; the service still ends promptly.
TEST_F(WalkResultsTest, StopDuringAWalkAbandonsItAndKeepsTheList) {
  WalkPrinterA();
  const std::string before = zvtest::ReadFile(CurrentPlist("alice", "PX-100"));
  zvtest::SilentDevice silent;
  auto reply = std::async(std::launch::async, [&] {
    return zvtest::SendWalkRequest(socket_path(), zvtest::WalkRequestText("PX-100", "alice",
        {"-v", "2c", "-c", "public", "-r", "0", "-t", "60", silent.address(), zvtest::ProfileTableOid()}));
  });
  ASSERT_TRUE(silent.AwaitDatagram(5000)) << ServiceStderr();
  service_->process().Signal(SIGTERM);
  EXPECT_EQ(reply.get(), "error:the service is stopping");
  EXPECT_EQ(service_->process().Wait(5000), 0);
  EXPECT_EQ(zvtest::ReadFile(CurrentPlist("alice", "PX-100")), before);
  EXPECT_EQ(LogLines(), std::vector<std::string>{"xpc - mibwalk_XPC - iRet=0"});
  service_.reset();  // already ended
}

TEST_F(WalkResultsTest, DeviceErrorStatusGivesTwoAndKeepsTheRowsFoundBeforeIt) {
  // A Counter64 cell after the table makes snmpsim answer an SNMPv1
  // GETNEXT with genErr.
  const std::string snmprec =
      zvtest::ProfileTableSnmprec(zvtest::PrinterATable()) + ProfileCellOid(9, 1) + "|70|12345\n";
  std::string error;
  auto device = SnmpAgent::StartSnmpsim(snmprec, &error, "public", {"--v2c-arch"});
  ASSERT_NE(device, nullptr) << error;
  EXPECT_EQ(WalkAlice({"-v", "1", "-c", "public", device->address(), zvtest::ProfileTableOid()}), "iRet=2");
  const StoredProfiles stored = AliceLists();
  ASSERT_TRUE(stored.read);
  EXPECT_EQ(stored.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
  EXPECT_EQ(stored.sim, SlotSummary{"PROOF.ICC 5 2"});
  EXPECT_EQ(stored.dst, SlotSummary{"PROOF.ICC 5 2"});
  EXPECT_EQ(LogLines(), std::vector<std::string>{"xpc - mibwalk_XPC - iRet=2"});
}

TEST_F(WalkResultsTest, MenuStatesFollowSuccessAndFailure) {
  WalkPrinterA();
  // A second successful walk reports every entry again.
  ASSERT_EQ(WalkAlice(zvtest::TableWalkArguments(printer_->address())), "iRet=0");
  EXPECT_EQ(AliceLists().rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
  // A successful walk of a subtree without the table reports none of them.
  ASSERT_EQ(WalkAlice({"-v", "2c", "-c", "public", printer_->address(), "1.3.6.1.4.1.32473.2"}), "iRet=0");
  EXPECT_EQ(AliceLists().rgb, (SlotSummary{"OFFICE.ICC 4 1", "PHOTO.ICC 4 1"}));
  EXPECT_EQ(AliceLists().sim, SlotSummary{"PROOF.ICC 5 1"});
  // A printer that does not answer: the entries leave the menu.
  zvtest::SilentDevice silent;
  ASSERT_EQ(WalkAlice({"-v", "2c", "-c", "public", "-r", "0", "-t", "1", silent.address(), zvtest::ProfileTableOid()}),
            "iRet=1");
  const StoredProfiles after_failure = AliceLists();
  ASSERT_TRUE(after_failure.read);
  EXPECT_TRUE(after_failure.rgb.empty());
  EXPECT_TRUE(after_failure.sim.empty());
  EXPECT_TRUE(after_failure.dst.empty());
  // Back again: the profiles are new entries once more.
  WalkPrinterA();
}

TEST_F(WalkResultsTest, WalkUsageErrorStillRunsTheMergeButARefusedRequestDoesNot) {
  WalkPrinterA();
  const std::string path = CurrentPlist("alice", "PX-100");
  const std::string before = zvtest::ReadFile(path);
  // Refused before any walk: the list stays byte for byte.
  EXPECT_EQ(WalkText("PX-100:ModelName:ENDalice:e2e:arg:"), "iRet=-1");
  EXPECT_EQ(zvtest::ReadFile(path), before);
  // A usage error of the walk itself: the merge is told the walk failed.
  EXPECT_EQ(WalkAlice({"-v", "9", printer_->address()}), "iRet=-1");
  const StoredProfiles after = AliceLists();
  ASSERT_TRUE(after.read);
  EXPECT_TRUE(after.rgb.empty());
  EXPECT_TRUE(after.sim.empty());
  EXPECT_EQ(LogLines().size(), 3u);
}

// A list nested deep enough to overflow a recursive reader's stack: the
// service lives, answers, keeps the old bytes aside and says so in its log.
TEST_F(WalkResultsTest, WalkOverADeeplyNestedListKeepsItAsideAndTheServiceLives) {
  const std::string path = CurrentPlist("alice", "PX-100");
  const int levels = 300000;
  std::string deep = "<plist version=\"1.0\"><dict><key>X</key>";
  for (int level = 0; level < levels; ++level) deep += "<array>";
  for (int level = 0; level < levels; ++level) deep += "</array>";
  deep += "</dict></plist>";
  zvtest::WriteFile(path, deep);
  for (int walk = 0; walk < 2; ++walk) WalkPrinterA();
  EXPECT_EQ(zvtest::ReadFile(path + ".unreadable"), deep);
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_NE(log[0].find("could not be read (" + path + ": XML property list: containers nest deeper than 32"),
            std::string::npos) << log[0];
  EXPECT_NE(log[0].find("kept aside as " + path + ".unreadable"), std::string::npos) << log[0];
  EXPECT_EQ(log[1], "xpc - mibwalk_XPC - iRet=0");
}

}  // namespace
