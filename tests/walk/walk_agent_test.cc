// SPDX-License-Identifier: MIT
// The walk driver against real agents (snmpd, snmpsimd) and, for what real
// agents will not do, our scripted responder, all on 127.0.0.1 at free
// ports. The merge is observed through the current profile plist.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "platform/fixed_field.h"
#include "report/walk_globals.h"
#include "support/snmp_agents.h"
#include "support/temp_dir.h"
#include "walk/select_calls.h"
#include "walk/walk_driver.h"
#include "walk/walk_fixture.h"

namespace {

using zvtest::Lines;
using zvtest::ProfileCellOid;
using zvtest::RepeatingSnmprec;
using zvtest::ProfileTableRow;
using zvtest::SlotsNamed;
using zvtest::SilentDevice;
using zvtest::SnmpAgent;
using zvtest::Walk;

const std::vector<ProfileTableRow> kTable = {
    {1, 11, 4, "Office RGB", "OFFICE.ICC", 1, 1},
    {2, 12, 5, "Proof", "PROOF.ICC", 3, 1},
    {3, 13, 7, "Other source", "OTHER.ICC", 2, 0},
};
constexpr int kTableCells = 18;  // 3 rows x 6 columns

// An SNMPv2c walk of `address`; the last of `more` is the root, the others
// are options and go before the address, where scanning takes them.
std::vector<std::string> V2c(const std::string& address, const std::vector<std::string>& more = {}) {
  std::vector<std::string> arguments = {"-v", "2c", "-c", "public"};
  if (more.empty()) {
    arguments.push_back(address);
    return arguments;
  }
  arguments.insert(arguments.end(), more.begin(), more.end() - 1);
  arguments.push_back(address);
  arguments.push_back(more.back());
  return arguments;
}

// The walk's time limit per try when the arguments give none.
constexpr long long kLibraryTimeoutUs = 250000;
// A wait that wakes more often than once a millisecond is not asleep.
constexpr long long kFewestMicrosecondsPerWakeup = 1000;

// `waits`, the select calls of a walk whose `tries` all went unanswered
// with `timeout_us` each: every call slept (a time limit above zero) no
// longer than until the next retry, none found an answer, and they were
// few: at least one per try, and far fewer than a spinning wait makes.
void ExpectSleptThroughTheRetries(const std::vector<zvtest::SelectCall>& waits, int tries, long long timeout_us) {
  EXPECT_GE(waits.size(), static_cast<std::size_t>(tries));
  EXPECT_LE(waits.size(), static_cast<std::size_t>(tries * timeout_us / kFewestMicrosecondsPerWakeup));
  std::size_t awake = 0, past_the_retry = 0, answered = 0;
  for (const zvtest::SelectCall& wait : waits) {
    awake += wait.timeout_us <= 0 ? 1 : 0;
    past_the_retry += wait.timeout_us > timeout_us ? 1 : 0;
    answered += wait.ready != 0 ? 1 : 0;
  }
  EXPECT_EQ(awake, 0u) << "selects without a time limit above zero, of " << waits.size();
  EXPECT_EQ(past_the_retry, 0u) << "selects longer than a try, of " << waits.size();
  EXPECT_EQ(answered, 0u) << "selects that found something to read, of " << waits.size();
}

class WalkAgentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    zvtest::UsePrivateSnmpClientConfig();  // no default version or community
    std::string error;
    snmpd_ = SnmpAgent::StartSnmpd(zvtest::ProfileTableOverrides(kTable), &error);
    ASSERT_NE(snmpd_, nullptr) << error;
  }
  static void TearDownTestSuite() { snmpd_.reset(); }

  void SetUp() override {
    ASSERT_NE(snmpd_, nullptr);
    zvtest::ResetWalkSettings();
    plist_ = std::make_unique<zvtest::CurrentPlist>(dir_.File("u-m-profile.plist"));
    ASSERT_TRUE(plist_->SeedMergeProbe());
  }
  void TearDown() override { zvtest::ResetWalkSettings(); }

  // A scripted responder logging its requests; `arguments` as it takes them.
  std::unique_ptr<SnmpAgent> StartResponder(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"--log", ResponderLog()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::string error;
    std::unique_ptr<SnmpAgent> responder = SnmpAgent::StartPortPrinter(ZV_SCRIPTED_RESPONDER, all, &error);
    EXPECT_NE(responder, nullptr) << error;
    return responder;
  }
  std::string ResponderLog() const { return dir_.File("requests.log"); }
  std::vector<std::string> Requests() const { return Lines(zvtest::ReadFile(ResponderLog())); }
  void ForgetRequests() const { zvtest::WriteFile(ResponderLog(), ""); }

  zv::ProfileLists StoredLists() {
    zv::ProfileLists lists{};
    EXPECT_TRUE(plist_->Read(lists));
    return lists;
  }

  static std::unique_ptr<SnmpAgent> snmpd_;
  zvtest::TempDir dir_;
  std::unique_ptr<zvtest::CurrentPlist> plist_;
};

std::unique_ptr<SnmpAgent> WalkAgentTest::snmpd_;

// ---- snmpd -----------------------------------------------------------------------

TEST_F(WalkAgentTest, TableWalkEndsInTheProfilePlist) {
  numprinted = 100;
  ASSERT_EQ(Walk(V2c(snmpd_->address(), {zvtest::ProfileTableOid()})), 0);
  EXPECT_EQ(numprinted, 100 + kTableCells);

  EXPECT_EQ(PlistForSpool.iNum, 3);
  // Which column fills which field is the spool list's test.
  EXPECT_EQ(PlistForSpool.slots[1].IndexOnDevice, 12);
  EXPECT_EQ(zv::FieldText(PlistForSpool.slots[1].FileName), "PROOF.ICC");

  const zv::ProfileLists stored = StoredLists();
  // Which row lands in which class is the merge's test.
  ASSERT_EQ(SlotsNamed(stored.rgb, "OFFICE.ICC"), std::vector<int>{1});
  EXPECT_EQ(stored.rgb.slots[1].InMenu, ZV_INMENU_REPORTED);
  EXPECT_EQ(SlotsNamed(stored.sim, "PROOF.ICC"), std::vector<int>{0});
  EXPECT_EQ(plist_->MergeToldResult(), 0);
}

TEST_F(WalkAgentTest, WithoutRootTheWalkCoversMib2AndSpoolsNothing) {
  const int32_t found_before = numprinted;
  ASSERT_EQ(Walk(V2c(snmpd_->address())), 0);
  EXPECT_GT(numprinted, found_before);
  EXPECT_EQ(PlistForSpool.iNum, 0);
  EXPECT_EQ(plist_->MergeToldResult(), 0);
}

TEST_F(WalkAgentTest, VariableCountStopsAtItsLargestValue) {
  numprinted = INT32_MAX - 5;
  ASSERT_EQ(Walk(V2c(snmpd_->address(), {zvtest::ProfileTableOid()})), 0);
  EXPECT_EQ(numprinted, INT32_MAX);
  EXPECT_EQ(PlistForSpool.iNum, 3);
  numprinted = 1;
}

// ---- snmpsimd --------------------------------------------------------------------

TEST_F(WalkAgentTest, EndOfMibViewEndsTheWalkAndIsCounted) {
  std::string error;
  auto sim = SnmpAgent::StartSnmpsim(zvtest::ProfileTableSnmprec(kTable), &error);
  ASSERT_NE(sim, nullptr) << error;
  numprinted = 100;
  ASSERT_EQ(Walk(V2c(sim->address(), {zvtest::ProfileTableOid()})), 0);
  EXPECT_EQ(numprinted, 100 + kTableCells + 1);
  EXPECT_EQ(PlistForSpool.iNum, 3);
  EXPECT_EQ(SlotsNamed(StoredLists().rgb, "OFFICE.ICC").size(), 1u);
}

TEST_F(WalkAgentTest, GenErrGivesTwoAndKeepsWhatWasSpooled) {
  // A Counter64 cell that an SNMPv1 request meets: genErr in this mode.
  const std::string snmprec = zvtest::ProfileTableSnmprec(kTable) + ProfileCellOid(9, 1) + "|70|12345\n";
  std::string error;
  auto sim = SnmpAgent::StartSnmpsim(snmprec, &error, "public", {"--v2c-arch"});
  ASSERT_NE(sim, nullptr) << error;
  ASSERT_EQ(Walk({"-v", "1", "-c", "public", sim->address(), zvtest::ProfileTableOid()}), 2);
  EXPECT_EQ(PlistForSpool.iNum, 3);
  EXPECT_EQ(plist_->MergeToldResult(), 1);
  EXPECT_EQ(SlotsNamed(StoredLists().rgb, "OFFICE.ICC").size(), 1u);
}

TEST_F(WalkAgentTest, OidNotIncreasingEndsTheWalkWithOne) {
  std::string error;
  auto sim = SnmpAgent::StartSnmpsim(RepeatingSnmprec(), &error);
  ASSERT_NE(sim, nullptr) << error;
  numprinted = 100;
  ASSERT_EQ(Walk(V2c(sim->address(), {zvtest::ProfileTableOid()})), 1);
  EXPECT_EQ(numprinted, 102);  // the repeated variable is counted too
  EXPECT_EQ(std::string(sDEBUGmsg).rfind("[SNMP] Error: OID not increasing: ", 0), 0u) << sDEBUGmsg;
  EXPECT_EQ(PlistForSpool.slots[0].IndexOnDevice, 11);
  EXPECT_EQ(plist_->MergeToldResult(), 1);
}

// ---- The scripted responder ---------------------------------------------------------

TEST_F(WalkAgentTest, EmptyResponseEndsTheWalkWithOne) {
  auto responder = StartResponder({"--end", "empty"});
  ASSERT_NE(responder, nullptr);
  ASSERT_EQ(Walk(V2c(responder->address(), {zvtest::ProfileTableOid()})), 1);
  EXPECT_EQ(Requests().size(), 1u);
  EXPECT_EQ(plist_->MergeToldResult(), 1);
}

TEST_F(WalkAgentTest, RepeatedOidFromResponderIsAskedForOnlyOnce) {
  auto responder = StartResponder({"--end", "repeat", ProfileCellOid(1, 1) + "=7"});
  ASSERT_NE(responder, nullptr);
  ASSERT_EQ(Walk(V2c(responder->address(), {"-Cc", zvtest::ProfileTableOid()})), 1);
  EXPECT_EQ(Requests().size(), 2u);
  EXPECT_EQ(PlistForSpool.iNum, 2);  // the repeated variable reached the spool too
  EXPECT_EQ(plist_->MergeToldResult(), 1);
}

TEST_F(WalkAgentTest, DeviceGoingRoundInACircleIsStoppedAtTheRequestLimit) {
  auto responder = StartResponder({"--end", "cycle", ProfileCellOid(1, 1) + "=7", ProfileCellOid(1, 2) + "=8"});
  ASSERT_NE(responder, nullptr);
  const long before = zv::SetWalkRequestLimit(20);
  const int result = Walk(V2c(responder->address(), {"-Cc", zvtest::ProfileTableOid()}));
  zv::SetWalkRequestLimit(before);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Requests().size(), 20u);
  EXPECT_EQ(plist_->MergeToldResult(), 1);
}

TEST_F(WalkAgentTest, NoSuchNameEndsAnSnmpV1WalkNormally) {
  auto responder = StartResponder({"--end", "nosuchname", ProfileCellOid(1, 1) + "=7", ProfileCellOid(4, 1) + "=s:A.ICC",
                                   ProfileCellOid(2, 1) + "=4", ProfileCellOid(5, 1) + "=1"});
  ASSERT_NE(responder, nullptr);
  ASSERT_EQ(Walk({"-v", "1", "-c", "public", responder->address(), zvtest::ProfileTableOid()}), 0);
  EXPECT_EQ(Requests().size(), 5u);
  EXPECT_EQ(plist_->MergeToldResult(), 0);
  EXPECT_EQ(SlotsNamed(StoredLists().rgb, "A.ICC").size(), 1u);
}

TEST_F(WalkAgentTest, FailedParsesSendNoRequestAndTellTheMergeOne) {
  auto responder = StartResponder({ProfileCellOid(1, 1) + "=7"});
  ASSERT_NE(responder, nullptr);
  const std::string address = responder->address();
  struct Case { std::vector<std::string> arguments; int result; };
  // One of each outcome; which arguments give which is the parser's test.
  const Case cases[] = {
      {{"-v", "2c", address}, -1},                                  // no community
      {{"-v", "2c", "-c", "public", "-H", address}, -2},
      {{"-v", "2c", "-c", "public", address, "1.3.x"}, 1},          // root does not parse
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(plist_->SeedMergeProbe());
    EXPECT_EQ(Walk(c.arguments), c.result) << c.arguments[c.arguments.size() - 1];
    EXPECT_EQ(plist_->MergeToldResult(), 1);
  }
  char* nothing[512] = {};
  ASSERT_TRUE(plist_->SeedMergeProbe());
  EXPECT_EQ(zvtest::WalkVector(0, nothing), -1);
  EXPECT_EQ(plist_->MergeToldResult(), 1);
  EXPECT_TRUE(Requests().empty());
}

TEST_F(WalkAgentTest, IncludeRequestedPersistsUntilToggledBack) {
  auto responder = StartResponder({ProfileCellOid(1, 1) + "=7"});
  ASSERT_NE(responder, nullptr);
  const std::string get_root = "GET ." + zvtest::ProfileTableOid();
  const std::vector<std::vector<std::string>> walks = {
      {"-Ci", zvtest::ProfileTableOid()}, {zvtest::ProfileTableOid()}, {"-Ci", zvtest::ProfileTableOid()}};
  const bool expect_get[] = {true, true, false};
  for (int walk = 0; walk < 3; ++walk) {
    ForgetRequests();
    ASSERT_EQ(Walk(V2c(responder->address(), walks[walk])), 0);
    const std::vector<std::string> requests = Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front() == get_root, expect_get[walk]) << "walk " << walk << ": " << requests.front();
  }
}

TEST_F(WalkAgentTest, FallbackGetOnlyWhileNothingWasFound) {
  // The only value lies outside the walked subtree.
  auto responder = StartResponder({"1.3.6.1.4.1.99999.1=5"});
  ASSERT_NE(responder, nullptr);
  const std::string root = "1.3.6.1.4.1.32473.2";
  numprinted = 0;
  ASSERT_EQ(Walk(V2c(responder->address(), {root})), 0);
  EXPECT_EQ(Requests(), (std::vector<std::string>{"GETNEXT ." + root, "GET ." + root}));
  EXPECT_EQ(numprinted, 1);  // the GET's answer (noSuchObject) is printed and counted

  ForgetRequests();
  ASSERT_EQ(Walk(V2c(responder->address(), {root})), 0);
  EXPECT_EQ(Requests(), std::vector<std::string>{"GETNEXT ." + root});
}

// ---- A device that does not answer ----------------------------------------------------

// The second of waiting for a silent device is spent asleep in select,
// each sleep bounded by the library's time to its next retry (0.25 s):
// a wait without a time limit of its own would return at once and spin,
// burning a whole core for as long as a printer keeps it waiting.
TEST_F(WalkAgentTest, SilentDeviceFailsAfterFourTriesWithoutFallbackGet) {
  SilentDevice device;
  numprinted = 0;
  std::vector<zvtest::SelectCall> waits;
  {
    zvtest::SelectRecorder recorder;
    ASSERT_EQ(Walk(V2c(device.address(), {zvtest::ProfileTableOid()})), 1);
    waits = recorder.calls();
  }
  EXPECT_EQ(device.DatagramsReceived(), 4);  // one request, three retries, no GET
  EXPECT_EQ(plist_->MergeToldResult(), 1);
  ExpectSleptThroughTheRetries(waits, 4, kLibraryTimeoutUs);
}

// Each try would wait 30 s; the walk's one-second limit ends the first.
TEST_F(WalkAgentTest, WalkTimeLimitEndsTheWalkAsATimedOutRequest) {
  SilentDevice device;
  const int before = zv::SetWalkTimeLimit(1);
  const int result = Walk(V2c(device.address(), {"-t", "30", zvtest::ProfileTableOid()}));
  zv::SetWalkTimeLimit(before);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(device.DatagramsReceived(), 1);
  EXPECT_EQ(plist_->MergeToldResult(), 1);
}

// The engine discovery of SNMPv3 waits inside the library; the limit holds
// for it too: its 20 tries share the one second (else 20 x 30 s).
TEST_F(WalkAgentTest, WalkTimeLimitBoundsSnmpV3EngineDiscovery) {
  SilentDevice device;
  const int before = zv::SetWalkTimeLimit(1);
  const int result =
      Walk({"-v", "3", "-u", "bob", "-r", "19", "-t", "30", device.address(), zvtest::ProfileTableOid()});
  zv::SetWalkTimeLimit(before);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(device.DatagramsReceived(), 20);
  EXPECT_EQ(plist_->MergeToldResult(), 1);
}

}  // namespace
