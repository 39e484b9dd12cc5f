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
#include <tuple>
#include <vector>

#include "report/debug_sink.h"
#include "report/walk_globals.h"
#include "support/snmp_agents.h"
#include "support/temp_dir.h"
#include "walk/bulk_requests.h"
#include "walk/snmp_library.h"
#include "walk/walk_driver.h"
#include "walk/walk_fixture.h"
#include "walk/walk_settings.h"

namespace {

using zvtest::Lines;
using zvtest::ProfileCellOid;
using zvtest::RepeatingSnmprec;
using zvtest::ProfileTableRow;
using zvtest::SnmpAgent;

// ---- Judging one GETBULK answer ------------------------------------------------

const oid kAsked[] = {1, 3, 6, 1, 4, 1, 32473, 1};
constexpr std::size_t kAskedLength = sizeof kAsked / sizeof kAsked[0];

// A variable of a response: the OID asked for, then `sub` (none when 0),
// and the type of its value.
using Variable = std::pair<oid, u_char>;

std::vector<Variable> InOrder(int count, u_char type = ASN_INTEGER) {
  std::vector<Variable> variables;
  for (int sub = 1; sub <= count; ++sub) variables.emplace_back(sub, type);
  return variables;
}

// A response holding `variables`; octet strings hold `octets` bytes.
netsnmp_pdu* Response(long error_status, const std::vector<Variable>& variables, std::size_t octets = 0) {
  netsnmp_pdu* response = snmp_pdu_create(SNMP_MSG_RESPONSE);
  response->errstat = error_status;
  const long number = 0;
  const std::string text(octets, 'x');
  for (const auto& [sub, type] : variables) {
    std::vector<oid> name(kAsked, kAsked + kAskedLength);
    if (sub != 0) name.push_back(sub);
    const bool integer = type == ASN_INTEGER;
    snmp_pdu_add_variable(response, name.data(), name.size(), type, integer ? static_cast<const void*>(&number)
                          : text.data(), integer ? sizeof number : text.size());
  }
  return response;
}

TEST(BulkAnswerTest, OnlyAnAnswerThatGetNextRequestsCouldGiveIsTaken) {
  zv::InitialiseSnmpLibrary();
  using zv::BulkAnswer;
  constexpr u_char kEnd = SNMP_ENDOFMIBVIEW;
  struct Case {
    long error_status;
    std::vector<Variable> variables;
    int repetitions;
    BulkAnswer expected;
  };
  const Case cases[] = {
      {SNMP_ERR_NOERROR, InOrder(25), 25, BulkAnswer::kTake},
      {SNMP_ERR_NOERROR, {{2, ASN_INTEGER}}, 25, BulkAnswer::kTake},  // fewer than asked for
      {SNMP_ERR_NOERROR, {{1, ASN_INTEGER}, {0, kEnd}, {0, kEnd}}, 25, BulkAnswer::kTake},
      {SNMP_ERR_NOERROR, InOrder(26), 25, BulkAnswer::kTooManyVariables},
      {SNMP_ERR_NOERROR, {}, 25, BulkAnswer::kNoVariables},
      {SNMP_ERR_NOERROR, {{0, ASN_INTEGER}}, 25, BulkAnswer::kOutOfOrder},  // the OID asked for
      {SNMP_ERR_NOERROR, {{2, ASN_INTEGER}, {1, ASN_INTEGER}}, 25, BulkAnswer::kOutOfOrder},
      {SNMP_ERR_NOERROR, {{1, ASN_INTEGER}, {2, kEnd}, {3, ASN_INTEGER}}, 25, BulkAnswer::kExceptionBeforeEnd},
      {SNMP_ERR_NOERROR, {{1, ASN_INTEGER}, {2, SNMP_NOSUCHOBJECT}}, 25, BulkAnswer::kOnlyGetException},
      {SNMP_ERR_NOERROR, {{1, SNMP_NOSUCHINSTANCE}, {2, ASN_INTEGER}}, 25, BulkAnswer::kOnlyGetException},
      {SNMP_ERR_TOOBIG, {{0, ASN_NULL}}, 2, BulkAnswer::kAskForFewer},
      {SNMP_ERR_TOOBIG, {{0, ASN_NULL}}, 1, BulkAnswer::kErrorStatus},
      {SNMP_ERR_GENERR, {{0, ASN_NULL}}, 25, BulkAnswer::kErrorStatus},
  };
  for (const Case& c : cases) {
    netsnmp_pdu* response = Response(c.error_status, c.variables);
    EXPECT_EQ(zv::JudgeBulkAnswer(*response, kAsked, kAskedLength, c.repetitions), c.expected)
        << "case " << &c - cases;
    snmp_free_pdu(response);
  }
}

TEST(BulkAnswerTest, DeafDeviceAndSnmpV1NeverBulkAndTheWalkOwnRepetitionsBeatTheDefault) {
  const int before = zv::SetDefaultBulkRepetitions(zv::kAutoBulkRepetitions);
  EXPECT_EQ(zv::BulkRepetitionsForWalk(SNMP_VERSION_2c, 0), zv::kAutoBulkRepetitions);
  EXPECT_EQ(zv::BulkRepetitionsForWalk(SNMP_VERSION_3, 25), 25);
  EXPECT_EQ(zv::BulkRepetitionsForWalk(SNMP_VERSION_1, 25), 0);
  zv::SetDeviceDeafToGetBulk(true);
  EXPECT_EQ(zv::BulkRepetitionsForWalk(SNMP_VERSION_2c, 25), 0);
  zv::SetDeviceDeafToGetBulk(false);
  EXPECT_EQ(zv::SetDefaultBulkRepetitions(500), zv::kAutoBulkRepetitions);
  EXPECT_EQ(zv::DefaultBulkRepetitions(), zv::kMaxBulkRepetitions);
  zv::SetDefaultBulkRepetitions(before);
}

// ---- Sizing the requests ------------------------------------------------------

TEST(BulkSizingTest, AutomaticRepetitionsGrowWhileAnswersComeBackWholeAndFit) {
  zv::InitialiseSnmpLibrary();
  enum Event { kWhole, kCut, kCutAtTheEnd, kTooBig };
  struct Case {
    const char* what;
    int start;                                 // as BulkRepetitionsForWalk gives it
    std::size_t octets;                        // of each variable; 0: integers
    std::vector<std::pair<Event, int>> steps;  // and the repetitions afterwards
    std::size_t largest_message = 65507;       // the session's
  };
  constexpr int kAuto = zv::kAutoBulkRepetitions;
  // 53 variables of 1200 bytes fit the session's largest message, 65507.
  const Case cases[] = {
      {"doubles to the most", kAuto, 0, {{kWhole, 50}, {kWhole, 100}, {kWhole, 100}}},
      {"doubles while the next answer fits; tooBig: the most that came back whole",
       kAuto, 1200, {{kWhole, 50}, {kWhole, 53}, {kTooBig, 50}, {kWhole, 50}}},
      {"cut short: the most that came back whole", kAuto, 0, {{kWhole, 50}, {kCut, 25}, {kWhole, 25}}},
      {"cut short before any came back whole: what came back", kAuto, 0, {{kCut, 12}, {kWhole, 12}}},
      {"fewer at the walk's end is not cut short", kAuto, 0, {{kCutAtTheEnd, 25}, {kWhole, 50}}},
      {"the walk's end counts as whole", kAuto, 0, {{kWhole, 50}, {kCutAtTheEnd, 50}, {kCut, 50}}},
      {"tooBig before any came back whole: half", kAuto, 0, {{kTooBig, 12}, {kTooBig, 6}, {kWhole, 6}}},
      {"fixed repetitions stay but for tooBig", 10, 0, {{kWhole, 10}, {kCut, 10}, {kTooBig, 5}, {kTooBig, 2}}},
      // A variable of 1200 bytes takes 1220 in a message: 41 of them take
      // 50020 bytes, which leaves the message's own fields too little room.
      {"the room beside the variables counts", kAuto, 1200, {{kWhole, 40}}, 41 * 1220 + 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zv::BulkSizing sizing = zv::StartBulkSizing(c.start);
    EXPECT_EQ(sizing.repetitions, c.start == kAuto ? zv::kFirstAutoBulkRepetitions : c.start);
    for (const auto& [event, expected] : c.steps) {
      if (event == kTooBig) {
        zv::SizeAfterTooBig(&sizing);
      } else {
        const int received = event == kWhole ? sizing.repetitions : sizing.repetitions / 2;
        netsnmp_pdu* answer =
            Response(SNMP_ERR_NOERROR, InOrder(received, c.octets > 0 ? ASN_OCTET_STR : ASN_INTEGER), c.octets);
        zv::SizeAfterAnswer(&sizing, *answer, event != kCutAtTheEnd, c.largest_message);
        snmp_free_pdu(answer);
      }
      EXPECT_EQ(sizing.repetitions, expected);
    }
  }
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
  void TearDown() override {
    zvtest::ResetWalkSettings();
    zv::SetDefaultBulkRepetitions(0);
    zv::SetDeviceDeafToGetBulk(false);
    zv::SetRememberedBulkRepetitions(0);
  }

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
};

// Repetitions that make every variable of a response its first and last,
// that put variables first, in the middle and last, and the automatic
// repetitions (25, taking the whole small table in one request, then 50,
// 100) of the service's default.
constexpr int kRepetitions[] = {1, 3, zv::kAutoBulkRepetitions};

// The options that ask a walk for `repetitions` (0: GETNEXT): "-C r" for a
// number; the service's default for kAutoBulkRepetitions, which no walk
// argument names.
std::vector<std::string> BulkOptions(int repetitions) {
  zv::SetDefaultBulkRepetitions(repetitions == zv::kAutoBulkRepetitions ? repetitions : 0);
  if (repetitions <= 0) return {};
  return {"-Cr" + std::to_string(repetitions)};
}

TEST_F(WalkBulkTest, BulkWalkGivesTheSameResultAsTheGetNextWalk) {
  const std::string log = Log();
  const auto responder = [&log](const std::vector<std::string>& arguments) {
    return Responder(With({"--log", log}, arguments));
  };
  const AgreementCase cases[] = {
      {"snmpd, 40 rows, leaving the table inside a response", Snmpd(kLongTable), {}, 0},
      {"snmpd, table with holes", Snmpd(kTableWithHoles), {}, 0},
      {"snmpsim, OID not increasing", Snmpsim(RepeatingSnmprec()), {}, 1},
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
      {"GETBULK answers cut to 30 variables", responder(With({"--bulk", "most:30"}, Served(kLongTable))), {}, 0},
      {"GETBULK answers reversed", responder(With({"--bulk", "reversed"}, Served(kLongTable))), {}, 0},
      {"GETBULK answers with endOfMibView in the middle",
       responder(With({"--bulk", "endofmibview"}, Served(kLongTable))), {}, 0},
      {"GETBULK answers with noSuchObject in them",
       responder(With({"--bulk", "nosuchobject"}, Served(kLongTable))), {}, 0},
      {"every second GETBULK dropped", responder(With({"--bulk", "drop:2"}, Served(kLongTable))), {}, 0},
      {"GETBULK never answered", responder(With({"--bulk", "drop:1"}, Served(kSmallTable))), {}, 0},
  };
  for (const AgreementCase& c : cases) {
    SCOPED_TRACE(c.device);
    std::string error;
    std::unique_ptr<SnmpAgent> agent = c.start(&error);
    ASSERT_NE(agent, nullptr) << error;
    const WalkOutcome by_getnext = WalkTable(agent->address(), With(c.options, BulkOptions(0)));
    ASSERT_EQ(by_getnext.result, c.result);
    EXPECT_GT(by_getnext.counted, 0);
    for (int repetitions : kRepetitions) {
      SCOPED_TRACE("repetitions " + std::to_string(repetitions));
      const WalkOutcome by_getbulk = WalkTable(agent->address(), With(c.options, BulkOptions(repetitions)));
      EXPECT_EQ(by_getbulk.result, by_getnext.result);
      EXPECT_TRUE(by_getbulk.list == by_getnext.list) << "the profile lists differ";
      EXPECT_EQ(by_getbulk.counted, by_getnext.counted);
      EXPECT_TRUE(by_getbulk.spool == by_getnext.spool) << "the spool lists differ";
    }
  }
}

// The walk as a walk's process runs it (no merge), on a writable copy of
// `arguments`, with a program-name slot in front.
int WalkAsItsProcessDoes(const std::vector<std::string>& arguments) {
  std::vector<std::string> copies = With({"zvxpcd-walk"}, arguments);
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return mib_walk(static_cast<int>(copies.size()), argv.data());
}

// A GETBULK whose answer the walk did not read is not a request the walk by
// GETNEXT sends: at the request limit both walks have counted as many
// variables.
TEST_F(WalkBulkTest, AtTheRequestLimitAWalkThatLeftGetBulkCountsAsTheGetNextWalk) {
  const long limit = zv::SetWalkRequestLimit(20);
  for (const char* fault : {"generr", "reversed", "drop:1"}) {
    SCOPED_TRACE(fault);
    std::string error;
    auto responder = Responder(With({"--bulk", fault}, Served(kLongTable)))(&error);
    ASSERT_NE(responder, nullptr) << error;
    std::vector<int32_t> counted;
    for (const int repetitions : {0, 25}) {
      const int32_t before = numprinted;
      EXPECT_EQ(WalkAsItsProcessDoes(With(With({"-v", "2c", "-c", "public", "-r", "0"}, BulkOptions(repetitions)),
                                          {responder->address(), zvtest::ProfileTableOid()})),
                1);
      counted.push_back(numprinted - before);
    }
    EXPECT_EQ(counted, (std::vector<int32_t>{20, 20}));
  }
  zv::SetWalkRequestLimit(limit);
}

// ---- The requests a walk sends -----------------------------------------------------

std::vector<std::string> walk_reasons;

void KeepReasons(zv::WalkNote note, std::string_view text) {
  if (note == zv::WalkNote::kReason) walk_reasons.emplace_back(text);
}

// The OID of the `n`-th cell (from 1) that the responder serves for `rows`.
std::string CellAt(const std::vector<ProfileTableRow>& rows, std::size_t n) {
  const int columns[] = {1, 2, 3, 4, 5, 7};
  return "." + ProfileCellOid(columns[(n - 1) / rows.size()], rows[(n - 1) % rows.size()].row);
}

TEST_F(WalkBulkTest, RequestsFollowTheSessionTheSettingsAndTheDevice) {
  const std::string table = "." + zvtest::ProfileTableOid();
  const auto& small = kSmallTable;
  const auto& large = kLongTable;
  const std::vector<std::string> v2c = {"-v", "2c", "-c", "public"};
  const std::string went_on = "; the walk went on by GETNEXT";
  constexpr int kAuto = zv::kAutoBulkRepetitions;
  struct Case {
    const char* what;
    const std::vector<ProfileTableRow>& rows;
    std::vector<std::string> responder;
    std::vector<std::string> walk;  // options; address and root follow
    int default_repetitions;
    bool known_deaf;
    std::vector<std::string> first_requests;
    std::string reasons;  // joined by "; "
    int result = 0;
    bool found_deaf = false;
    int remembered = 0;  // the repetitions the service remembered of the device
    int whole = 0;       // the most that came back whole, as the walk reports it (automatic walks only)
  };
  const Case cases[] = {
      {"-Cr25", small, {}, With(v2c, {"-Cr25"}), 0, false, {"GETBULK " + table + " 25"}, ""},
      {"the service's fixed default", small, {}, v2c, 5, false, {"GETBULK " + table + " 5"}, ""},
      {"SNMPv1 walks by GETNEXT", small, {}, {"-v", "1", "-c", "public", "-Cr25"}, 5, false,
       {"GETNEXT " + table}, ""},
      {"automatic repetitions grow, and after a cut go back to the most that came back whole", large,
       {"--bulk", "most:30"}, v2c, kAuto, false,
       {"GETBULK " + table + " 25", "GETBULK " + CellAt(large, 25) + " 50", "GETBULK " + CellAt(large, 55) + " 25",
        "GETBULK " + CellAt(large, 80) + " 25"}, "", 0, false, 0, 25},
      {"tooBig halves the repetitions", small, {"--bulk", "toobig:3"}, With(v2c, {"-Cr25"}), 0, false,
       {"GETBULK " + table + " 25", "GETBULK " + table + " 12", "GETBULK " + table + " 6",
        "GETBULK " + table + " 3", "GETBULK " + CellAt(small, 3) + " 3"}, ""},
      {"a broken GETBULK gives way to GETNEXT from where the walk is", small, {"--bulk", "generr"},
       With(v2c, {"-Cr25"}), 0, false, {"GETBULK " + table + " 25", "GETNEXT " + table, "GETNEXT " + CellAt(small, 1)},
       "the device answered GETBULK with error status 5" + went_on},
      {"a GETBULK dropped mid-walk costs one try, then GETNEXT from where the walk is", small,
       {"--bulk", "drop:2"}, With(v2c, {"-Cr5"}), 0, false,
       {"GETBULK " + table + " 5", "GETBULK " + CellAt(small, 5) + " 5", "GETNEXT " + CellAt(small, 5),
        "GETNEXT " + CellAt(small, 6)},
       "the device left a GETBULK request unanswered" + went_on},
      {"a lie, then an error of the walk by GETNEXT: both are reasons", small,
       {"--bulk", "reversed", "--end", "repeat"}, With(v2c, {"-Cc", "-Cr25"}), 0, false,
       {"GETBULK " + table + " 25", "GETNEXT " + table, "GETNEXT " + CellAt(small, 1)},
       "the device's answer to GETBULK was out of order" + went_on + "; Error: the device returned the OID asked for",
       1},
      {"a device deaf to GETBULK is walked on by GETNEXT from the same OID", small, {"--bulk", "drop:1"}, v2c,
       kAuto, false, {"GETBULK " + table + " 25", "GETNEXT " + table, "GETNEXT " + CellAt(small, 1)},
       "the device left the walk's first GETBULK request unanswered" + went_on, 0, true},
      {"a device known to be deaf gets no GETBULK, whatever -C r asks, and is told so", small, {"--bulk", "drop:1"},
       With(v2c, {"-Cr25"}), kAuto, true, {"GETNEXT " + table, "GETNEXT " + CellAt(small, 1)},
       "the device left GETBULK requests unanswered in two walks in a row; the walk went by GETNEXT (GETBULK is "
       "tried again 15 minutes after)"},
      {"a known device's walk starts at the repetitions that came back whole in its last walk", large, {},
       v2c, kAuto, false, {"GETBULK " + table + " 60", "GETBULK " + CellAt(large, 60) + " 100"}, "", 0, false, 60,
       100},
      {"SNMPv1 is no deafness to tell", small, {}, {"-v", "1", "-c", "public"}, kAuto, true, {"GETNEXT " + table},
       ""},
  };
  zv::SetWalkNoteSink(KeepReasons);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    auto responder = Responder(With({"--log", Log()}, With(c.responder, Served(c.rows))))(&error);
    ASSERT_NE(responder, nullptr) << error;
    zvtest::WriteFile(Log(), "");
    walk_reasons.clear();
    zv::SetDefaultBulkRepetitions(c.default_repetitions);
    zv::SetDeviceDeafToGetBulk(c.known_deaf);
    zv::SetRememberedBulkRepetitions(c.remembered);
    EXPECT_EQ(zvtest::Walk(With(c.walk, {responder->address(), zvtest::ProfileTableOid()})), c.result);
    EXPECT_EQ(zv::WalkFoundDeviceDeafToGetBulk(), c.found_deaf);
    EXPECT_EQ(zv::LastWalkBulkOutcome().whole, c.whole);
    EXPECT_EQ(PlistForSpool.iNum, static_cast<int>(c.rows.size()));
    const std::vector<std::string> requests = Lines(zvtest::ReadFile(Log()));
    ASSERT_GE(requests.size(), c.first_requests.size());
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + c.first_requests.size()),
              c.first_requests);
    if (c.known_deaf) {
      EXPECT_EQ(zvtest::ReadFile(Log()).find("GETBULK"), std::string::npos);
    }
    std::string reasons;
    for (const std::string& reason : walk_reasons) reasons += (reasons.empty() ? "" : "; ") + reason;
    EXPECT_EQ(reasons, c.reasons);
  }
  zv::SetWalkNoteSink(nullptr);
}

// What the reason of a silent device says for SNMPv1 and SNMPv2c.
constexpr char kCommunityHint[] =
    " (check the address and the community: a device drops a request with a community it does not know)";

// A device that answers nothing waits the walk out as a walk by GETNEXT
// does (walk_agent_test): the first GETBULK's one try is taken from the
// GETNEXT's tries, so it gets (retries + 1) requests in all, two without
// retries, and the timeout is the walk's one reason.
TEST_F(WalkBulkTest, SilentDeviceGetsTheTriesOfAWalkByGetNext) {
  zv::SetWalkNoteSink(KeepReasons);
  zvtest::SilentDevice device;
  for (const auto& [retries, datagrams, wait, tries] :
       {std::tuple{0, 2, "0.25", "0 retries"}, std::tuple{1, 2, "0.5", "1 retry"}, std::tuple{2, 3, "0.75", "2 retries"}}) {
    walk_reasons.clear();
    const std::vector<std::string> walk = {"-v", "2c", "-c", "public", "-r", std::to_string(retries)};
    EXPECT_EQ(zvtest::Walk(With(With(walk, BulkOptions(zv::kAutoBulkRepetitions)),
                                {device.address(), zvtest::ProfileTableOid()})),
              1);
    EXPECT_EQ(device.DatagramsReceived(), datagrams);
    EXPECT_EQ(walk_reasons, std::vector<std::string>{device.address() + " did not answer within " +
                                                     std::string(wait) + " s (" + tries + ")" + kCommunityHint});
  }
  zv::SetWalkNoteSink(nullptr);
}

}  // namespace
