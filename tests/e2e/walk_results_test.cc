// SPDX-License-Identifier: MIT
// A walk through the real zvxpcd over a profile list no reader can take.
// The reply and log line of each walk result are RunWalkRequestTest's, and
// through the service WalkCommandTest.OtherResultsExitOne's (replies) and
// the diagnostics tests' (log lines); which arguments give which result
// is the walk's tests'; what a result does to the menus is the merge's.
#include <string>
#include <vector>

#include "walk_service.h"

namespace {

using zvtest::ReadStoredProfiles;
using zvtest::SlotSummary;
using zvtest::StoredProfiles;

class WalkResultsTest : public zvtest::PrinterAWalkTest {
 protected:
  void SetUp() override {
    PrinterAWalkTest::SetUp();
    StartService();
  }

  // A walk of printer A that leaves every row in state 2.
  void WalkPrinterA() {
    ASSERT_EQ(Walk("PX-100", "alice", zvtest::TableWalkArguments(printer_->address())), "iRet=0") << ServiceStderr();
    const StoredProfiles stored = ReadStoredProfiles(CurrentPlist("alice", "PX-100"));
    ASSERT_TRUE(stored.read);
    ASSERT_EQ(stored.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
    ASSERT_EQ(stored.sim, SlotSummary{"PROOF.ICC 5 2"});
  }
};

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
