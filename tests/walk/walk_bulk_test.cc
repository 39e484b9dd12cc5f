// SPDX-License-Identifier: MIT
// The walk by GETBULK: how a GETBULK answer is judged, and that a walk by
// GETBULK gives the very same result as the walk by GETNEXT (spool list,
// variable count, profile list bytes, result code) against real agents and
// against the scripted responder's misbehaving devices.
#include <gtest/gtest.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/snmp_agents.h"
#include "support/temp_dir.h"
#include "walk/bulk_requests.h"
#include "walk/debug_sink.h"
#include "walk/snmp_library.h"
#include "walk/walk_fixture.h"
#include "walk/walk_settings.h"
#include "walk/walk_state.h"

namespace {

using zvtest::Lines;
using zvtest::ProfileCellOid;
using zvtest::RepeatingSnmprec;
using zvtest::ProfileTableRow;
using zvtest::SnmpAgent;

// ---- Judging one GETBULK answer ------------------------------------------------

const oid kAsked[] = {1, 3, 6, 1, 4, 1, 32473, 1};
constexpr std::size_t kAskedLength = sizeof kAsked / sizeof kAsked[0];

// A response of `variables` variables, the first one `first` (of type
// `type`), the others after it.
netsnmp_pdu* Response(long error_status, int variables, std::vector<oid> first = {1, 3, 6, 1, 4, 1, 32473, 1, 1},
                      u_char type = ASN_INTEGER) {
  netsnmp_pdu* response = snmp_pdu_create(SNMP_MSG_RESPONSE);
  response->errstat = error_status;
  const long value = 0;
  for (int i = 0; i < variables; ++i) {
    snmp_pdu_add_variable(response, first.data(), first.size(), type, type == ASN_INTEGER ? &value : nullptr,
                          type == ASN_INTEGER ? sizeof value : 0);
    first.push_back(1);
    type = ASN_INTEGER;
  }
  return response;
}

TEST(BulkAnswerTest, OnlyAWellFormedAnswerIsTaken) {
  zv::InitialiseSnmpLibrary();
  const std::vector<oid> asked(kAsked, kAsked + kAskedLength);
  const std::vector<oid> before = {1, 3, 6, 1, 4, 1, 32473};
  struct Case {
    long error_status;
    int variables;
    int repetitions;
    std::vector<oid> first;
    u_char first_type;
    zv::BulkAnswer expected;
  };
  const Case cases[] = {
      {SNMP_ERR_NOERROR, 25, 25, {1, 3, 6, 1, 4, 1, 32473, 1, 1}, ASN_INTEGER, zv::BulkAnswer::kTake},
      {SNMP_ERR_NOERROR, 1, 25, {1, 3, 6, 1, 4, 1, 32473, 2}, ASN_INTEGER, zv::BulkAnswer::kTake},  // may give fewer
      {SNMP_ERR_NOERROR, 3, 25, asked, SNMP_ENDOFMIBVIEW, zv::BulkAnswer::kTake},
      {SNMP_ERR_NOERROR, 26, 25, {1, 3, 6, 1, 4, 1, 32473, 1, 1}, ASN_INTEGER, zv::BulkAnswer::kGoOnByGetNext},
      {SNMP_ERR_NOERROR, 0, 25, {}, ASN_INTEGER, zv::BulkAnswer::kGoOnByGetNext},
      {SNMP_ERR_NOERROR, 2, 25, asked, ASN_INTEGER, zv::BulkAnswer::kGoOnByGetNext},
      {SNMP_ERR_NOERROR, 2, 25, before, ASN_INTEGER, zv::BulkAnswer::kGoOnByGetNext},
      {SNMP_ERR_TOOBIG, 1, 2, asked, ASN_NULL, zv::BulkAnswer::kAskForFewer},
      {SNMP_ERR_TOOBIG, 1, 1, asked, ASN_NULL, zv::BulkAnswer::kGoOnByGetNext},
      {SNMP_ERR_GENERR, 1, 25, asked, ASN_NULL, zv::BulkAnswer::kGoOnByGetNext},
      {SNMP_ERR_NOSUCHNAME, 1, 25, asked, ASN_NULL, zv::BulkAnswer::kGoOnByGetNext},
  };
  for (const Case& c : cases) {
    netsnmp_pdu* response = Response(c.error_status, c.variables, c.first, c.first_type);
    EXPECT_EQ(zv::JudgeBulkAnswer(*response, kAsked, kAskedLength, c.repetitions), c.expected)
        << "status " << c.error_status << ", " << c.variables << " of " << c.repetitions << ", first type "
        << static_cast<int>(c.first_type);
    snmp_free_pdu(response);
  }
  EXPECT_EQ(zv::FewerBulkRepetitions(25), 12);
  EXPECT_EQ(zv::FewerBulkRepetitions(3), 1);
  EXPECT_EQ(zv::FewerBulkRepetitions(1), 1);
}

TEST(BulkAnswerTest, WalkOwnRepetitionsBeatTheDefaultAndSnmpV1NeverBulks) {
  const int before = zv::SetDefaultBulkRepetitions(7);
  EXPECT_EQ(zv::BulkRepetitionsForWalk(SNMP_VERSION_2c, 0), 7);
  EXPECT_EQ(zv::BulkRepetitionsForWalk(SNMP_VERSION_3, 25), 25);
  EXPECT_EQ(zv::BulkRepetitionsForWalk(SNMP_VERSION_1, 25), 0);
  EXPECT_EQ(zv::SetDefaultBulkRepetitions(500), 7);
  EXPECT_EQ(zv::DefaultBulkRepetitions(), zv::kMaxBulkRepetitions);
  zv::SetDefaultBulkRepetitions(before);
}

// ---- Devices --------------------------------------------------------------------

std::vector<ProfileTableRow> Rows(const std::vector<int>& row_numbers) {
  std::vector<ProfileTableRow> rows;
  for (int row : row_numbers) {
    const std::string name = "P" + std::to_string(row);
    rows.push_back({row, 100 + row, 4 + row % 2, "Profile " + name, name + ".ICC", 1 + row % 3, 1});
  }
  return rows;
}

std::vector<int> OneTo(int last) {
  std::vector<int> numbers;
  for (int n = 1; n <= last; ++n) numbers.push_back(n);
  return numbers;
}

const std::vector<ProfileTableRow> kSmallTable = Rows({1, 2, 3});
const std::vector<ProfileTableRow> kLongTable = Rows(OneTo(40));
const std::vector<ProfileTableRow> kTableWithHoles = Rows({1, 2, 5, 9, 10});

// The scripted responder's OID=VALUE arguments serving `rows`, with
// `replaced` taking the place of cells it names (or adding them).
std::vector<std::string> Served(const std::vector<ProfileTableRow>& rows,
                                const std::vector<std::pair<std::string, std::string>>& replaced = {}) {
  std::vector<std::pair<std::string, std::string>> cells;
  for (const ProfileTableRow& r : rows) {
    cells.insert(cells.end(), {{ProfileCellOid(1, r.row), std::to_string(r.index_on_device)},
                               {ProfileCellOid(2, r.row), std::to_string(r.source_type)},
                               {ProfileCellOid(3, r.row), "s:" + r.profile_name},
                               {ProfileCellOid(4, r.row), "s:" + r.file_name},
                               {ProfileCellOid(5, r.row), std::to_string(r.profile_class)},
                               {ProfileCellOid(7, r.row), std::to_string(r.availability)}});
  }
  for (const auto& [name, value] : replaced) {
    bool found = false;
    for (auto& cell : cells) {
      if (cell.first == name) cell.second = value, found = true;
    }
    if (!found) cells.emplace_back(name, value);
  }
  std::vector<std::string> arguments;
  for (const auto& [name, value] : cells) arguments.push_back(name + "=" + value);
  return arguments;
}

std::vector<std::string> With(std::vector<std::string> first, const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

using AgentStart = std::function<std::unique_ptr<SnmpAgent>(std::string* error)>;

AgentStart Snmpd(const std::vector<ProfileTableRow>& rows) {
  return [rows](std::string* error) { return SnmpAgent::StartSnmpd(zvtest::ProfileTableOverrides(rows), error); };
}

AgentStart Snmpsim(const std::string& snmprec) {
  return [snmprec](std::string* error) { return SnmpAgent::StartSnmpsim(snmprec, error); };
}

AgentStart Responder(const std::vector<std::string>& arguments) {
  return [arguments](std::string* error) {
    return SnmpAgent::StartPortPrinter(ZV_SCRIPTED_RESPONDER, arguments, error);
  };
}

// The delay variation holds the answer that reaches row 2 for 1.5 s.
std::string SlowSnmprec() {
  return ProfileCellOid(1, 1) + "|2|11\n" + ProfileCellOid(1, 2) + "|2:delay|value=12,wait=1500\n";
}

// Just past the profile table, still inside its enterprise's subtree.
std::string BeyondTable(int sub) { return zvtest::ProfileTableOid() + ".8.1." + std::to_string(sub); }

// ---- Agreement of the two walks --------------------------------------------------

// What a walk leaves behind.
struct WalkOutcome {
  int result;
  int32_t counted;
  std::string spool;  // the spool list's bytes
  std::string list;   // the profile list file's bytes
};

class WalkBulkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { zvtest::UsePrivateSnmpClientConfig(); }
  void SetUp() override { zvtest::ResetWalkSettings(); }
  void TearDown() override { zvtest::ResetWalkSettings(); }

  // One walk of the profile table at `address` from the same seeded list.
  WalkOutcome WalkTable(const std::string& address, std::vector<std::string> options) {
    zvtest::ResetWalkSettings();
    EXPECT_TRUE(plist_.SeedMergeProbe());
    options.insert(options.begin(), {"-v", "2c", "-c", "public"});
    options.insert(options.end(), {address, zvtest::ProfileTableOid()});
    const int32_t before = numprinted;
    WalkOutcome outcome{};
    outcome.result = zvtest::Walk(options);
    outcome.counted = numprinted - before;
    outcome.spool.assign(reinterpret_cast<const char*>(&PlistForSpool), sizeof PlistForSpool);
    outcome.list = zvtest::ReadFile(path_);
    return outcome;
  }

  std::string Log() const { return dir_.File("requests.log"); }

  zvtest::TempDir dir_;
  std::string path_ = dir_.File("u-m-profile.plist");
  zvtest::CurrentPlist plist_{path_};
};

struct AgreementCase {
  const char* device;
  AgentStart start;
  std::vector<std::string> options;  // given to both walks
  int result;                        // the GETNEXT walk's, which both must give
  bool same_spool = true;            // false: only the result and the profile list must agree
};

// Repetitions that put every variable of a response first, in the middle
// and last, and one request that takes the whole table.
constexpr int kRepetitions[] = {1, 2, 3, 25};

TEST_F(WalkBulkTest, BulkWalkGivesTheSameResultAsTheGetNextWalk) {
  const std::string log = Log();
  const auto responder = [&log](const std::vector<std::string>& arguments) {
    return Responder(With({"--log", log}, arguments));
  };
  const AgreementCase cases[] = {
      {"snmpd, 40 rows, leaving the table inside a response", Snmpd(kLongTable), {}, 0},
      {"snmpd, table with holes", Snmpd(kTableWithHoles), {}, 0},
      {"snmpsim, endOfMibView after the table", Snmpsim(zvtest::ProfileTableSnmprec(kLongTable)), {}, 0},
      {"snmpsim, OID not increasing", Snmpsim(RepeatingSnmprec()), {}, 1},
      // The simulator sleeps through its delay and answers nothing else
      // meanwhile: a walk that asks for row 2 in its first request finds
      // it silent and keeps no row, but merges as the GETNEXT walk does.
      {"snmpsim, an answer slower than the timeout", Snmpsim(SlowSnmprec()), {"-r", "0"}, 1, false},
      {"a device silent at one OID", responder(Served(kLongTable, {{ProfileCellOid(4, 12), "n:"}})), {"-r", "0"}, 1},
      {"noSuchInstance in the table", responder(Served(kSmallTable, {{ProfileCellOid(3, 2), "x:129"}})), {}, 0},
      {"noSuchObject in the table", responder(Served(kSmallTable, {{ProfileCellOid(1, 3), "x:128"}})), {}, 0},
      {"endOfMibView in the table", responder(Served(kSmallTable, {{ProfileCellOid(5, 1), "x:130"}})), {}, 0},
      {"leaving the subtree part-way",
       responder(Served(kSmallTable, {{"1.3.6.1.4.1.32473.1.1.1.1.6.13.1.2.1.1", "9"}, {BeyondTable(1), "8"}})),
       {},
       0},
      {"genErr in the middle of the table", responder(Served(kLongTable, {{ProfileCellOid(2, 30), "e:5"}})), {}, 2},
      {"noSuchName at the end", responder(With({"--end", "nosuchname"}, Served(kSmallTable))), {}, 0},
      {"OID asked for coming back, ordering check off",
       responder(With({"--end", "repeat"}, Served(kSmallTable))), {"-Cc"}, 1},
      {"GETBULK answered with genErr", responder(With({"--bulk", "generr"}, Served(kLongTable))), {}, 0},
      {"GETBULK answered without variables", responder(With({"--bulk", "empty"}, Served(kSmallTable))), {}, 0},
      {"GETBULK answered with too many variables",
       responder(With({"--bulk", "extra"}, Served(kSmallTable))), {}, 0},
      {"GETBULK answered with tooBig above 3", responder(With({"--bulk", "toobig:3"}, Served(kLongTable))), {}, 0},
  };
  for (const AgreementCase& c : cases) {
    SCOPED_TRACE(c.device);
    std::string error;
    std::unique_ptr<SnmpAgent> agent = c.start(&error);
    ASSERT_NE(agent, nullptr) << error;
    const WalkOutcome by_getnext = WalkTable(agent->address(), c.options);
    ASSERT_EQ(by_getnext.result, c.result);
    EXPECT_GT(by_getnext.counted, 0);
    for (int repetitions : kRepetitions) {
      SCOPED_TRACE("-Cr" + std::to_string(repetitions));
      const WalkOutcome by_getbulk = WalkTable(agent->address(), With(c.options, {"-Cr" + std::to_string(repetitions)}));
      EXPECT_EQ(by_getbulk.result, by_getnext.result);
      EXPECT_TRUE(by_getbulk.list == by_getnext.list) << "the profile lists differ";
      if (!c.same_spool) continue;
      EXPECT_EQ(by_getbulk.counted, by_getnext.counted);
      EXPECT_TRUE(by_getbulk.spool == by_getnext.spool) << "the spool lists differ";
    }
  }
}

// ---- The requests a walk sends -----------------------------------------------------

std::vector<std::string> walk_reasons;

void KeepReasons(zv::WalkNote note, std::string_view text) {
  if (note == zv::WalkNote::kReason) walk_reasons.emplace_back(text);
}

TEST_F(WalkBulkTest, RequestsFollowTheSessionTheSettingsAndTheDevice) {
  const std::string table = "." + zvtest::ProfileTableOid();
  const std::string first_cell = "." + ProfileCellOid(1, 1);
  struct Case {
    const char* what;
    std::vector<std::string> responder;
    std::vector<std::string> walk;  // options, address, root
    int default_repetitions;
    std::vector<std::string> first_requests;
    const char* reason;  // the walk's reason, or null for none
    int result = 0;
  };
  const Case cases[] = {
      {"-Cr25", {}, {"-v", "2c", "-c", "public", "-Cr25"}, 0, {"GETBULK " + table + " 25"}, nullptr},
      {"the service's default", {}, {"-v", "2c", "-c", "public"}, 5, {"GETBULK " + table + " 5"}, nullptr},
      {"SNMPv1 walks by GETNEXT", {}, {"-v", "1", "-c", "public", "-Cr25"}, 5, {"GETNEXT " + table}, nullptr},
      {"tooBig halves the repetitions",
       {"--bulk", "toobig:3"},
       {"-v", "2c", "-c", "public", "-Cr25"},
       0,
       {"GETBULK " + table + " 25", "GETBULK " + table + " 12", "GETBULK " + table + " 6",
        "GETBULK " + table + " 3", "GETBULK ." + ProfileCellOid(1, 3) + " 3"},
       nullptr},
      {"a broken GETBULK gives way to GETNEXT from where the walk is",
       {"--bulk", "generr"},
       {"-v", "2c", "-c", "public", "-Cr25"},
       0,
       {"GETBULK " + table + " 25", "GETNEXT " + table, "GETNEXT " + first_cell},
       "the device answered GETBULK with error status 5; the walk went on by GETNEXT"},
      {"a GETBULK left unanswered after answers gives way to GETNEXT",
       {"." + ProfileCellOid(3, 2) + "=n:"},
       {"-v", "2c", "-c", "public", "-r", "0", "-Cr5"},
       0,
       {"GETBULK " + table + " 5", "GETBULK ." + ProfileCellOid(2, 2) + " 5", "GETNEXT ." + ProfileCellOid(2, 2),
        "GETNEXT ." + ProfileCellOid(2, 3), "GETNEXT ." + ProfileCellOid(3, 1)},
       "the device left a GETBULK request unanswered; the walk went on by GETNEXT; "
       "ADDRESS did not answer within 0.25 s (0 retries)",
       1},
  };
  zv::SetWalkNoteSink(KeepReasons);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    auto responder = Responder(With({"--log", Log()}, With(c.responder, Served(kSmallTable))))(&error);
    ASSERT_NE(responder, nullptr) << error;
    zvtest::WriteFile(Log(), "");
    walk_reasons.clear();
    const int before = zv::SetDefaultBulkRepetitions(c.default_repetitions);
    const int result = zvtest::Walk(With(c.walk, {responder->address(), zvtest::ProfileTableOid()}));
    zv::SetDefaultBulkRepetitions(before);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(PlistForSpool.iNum, 3);
    std::vector<std::string> requests = Lines(zvtest::ReadFile(Log()));
    ASSERT_GE(requests.size(), c.first_requests.size());
    requests.resize(c.first_requests.size());
    EXPECT_EQ(requests, c.first_requests);
    std::string reasons;
    for (const std::string& reason : walk_reasons) reasons += (reasons.empty() ? "" : "; ") + reason;
    std::string expected = c.reason != nullptr ? c.reason : "";
    if (const std::size_t at = expected.find("ADDRESS"); at != std::string::npos) {
      expected.replace(at, 7, responder->address());
    }
    EXPECT_EQ(reasons, expected);
  }
  zv::SetWalkNoteSink(nullptr);
}

}  // namespace
