// SPDX-License-Identifier: MIT
// Walk results through the real zvxpcd: the reply "iRet=N" and the log
// line "xpc - mibwalk_XPC - iRet=N" for each walk request, and a list no
// reader can take. Which arguments give which result is the walk's tests';
// what a result does to the menus is the merge's (through the service:
// `zvxpc walk`'s summary); a stop in the middle of a walk is
// WalkProcessTest's; that a refused request is never walked is the front's.
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
      {{"-v", "3", "-u", "bob", "-A", "secret phrase", address, table}, "iRet=-2"},  // a pass phrase
  };
  std::vector<std::string> expected_log;
  for (const Case& c : cases) {
    EXPECT_EQ(WalkAlice(c.arguments), c.reply) << c.arguments.back();
    expected_log.push_back("xpc - mibwalk_XPC - " + c.reply);
  }
  EXPECT_EQ(LogLines(), expected_log);
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
