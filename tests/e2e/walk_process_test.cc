// SPDX-License-Identifier: MIT
// Each walk in a process of its own: a walk's process killed in the middle
// of a walk costs that walk alone; a silent printer holds up no other
// printer's walk; two walks of one list still follow each other; the -C
// settings hold across walks; and the walk's process is confined and holds
// no pass phrase while it waits.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_variable.h"
#include "support/process_memory.h"
#include "walk_service.h"

namespace {

using zvtest::SnmpAgent;

constexpr std::string_view kKilledLine = "xpc - mibwalk_XPC - the walk's process was killed by signal 9";

// The children of process `pid` (of all its threads).
std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (dir == nullptr) return children;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream file(tasks + "/" + entry->d_name + "/children");
    for (pid_t child = 0; file >> child;) children.push_back(child);
  }
  ::closedir(dir);
  return children;
}

// The value of `field` in /proc/PID/status ("" when missing).
std::string StatusField(pid_t pid, const std::string& field) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(file, line);) {
    if (line.rfind(field + ":", 0) == 0) {
      std::istringstream rest(line.substr(field.size() + 1));
      std::string value;
      rest >> value;
      return value;
    }
  }
  return "";
}

// The live children of `pid` under a system call filter: the processes of
// running walks (the one the service starts ahead is not confined yet, and
// one that ended may wait a moment to be reaped).
std::vector<pid_t> ConfinedChildrenOf(pid_t pid) {
  std::vector<pid_t> confined;
  for (const pid_t child : ChildrenOf(pid)) {
    if (StatusField(child, "Seccomp") == "2" && StatusField(child, "State") != "Z") confined.push_back(child);
  }
  return confined;
}

class WalkProcessTest : public zvtest::PrinterAWalkTest {
 protected:
  std::string WalkPrinterA(const std::string& user = "alice") {
    return Walk("PX-100", user, zvtest::TableWalkArguments(printer_->address()));
  }

  // A walk of `silent` that waits `seconds` for its one try, in the
  // background; returns once the device has seen the request (`*seen`) or
  // after 5 s.
  std::future<std::string> StartSilentWalk(zvtest::SilentDevice& silent, const std::string& user, int seconds,
                                           bool* seen) {
    auto reply = std::async(std::launch::async, [this, &silent, user, seconds] {
      return zvtest::SendWalkRequest(
          socket_path(), zvtest::WalkRequestText("PX-100", user,
                                                 {"-v", "2c", "-c", "public", "-r", "0", "-t",
                                                  std::to_string(seconds), silent.address(),
                                                  zvtest::ProfileTableOid()}));
    });
    *seen = silent.AwaitDatagram(5000);
    return reply;
  }
};

TEST_F(WalkProcessTest, KilledWalkProcessAnswersOneKeepsTheListAndTheServiceGoesOn) {
  StartService();
  ASSERT_EQ(WalkPrinterA(), "iRet=0");
  const std::string before = zvtest::ReadFile(CurrentPlist("alice", "PX-100"));
  zvtest::SilentDevice silent;
  bool seen = false;
  auto reply = StartSilentWalk(silent, "alice", 60, &seen);
  ASSERT_TRUE(seen) << ServiceStderr();
  // Confined before it sent its request: one child is the walk's,
  // filtered and without new privileges.
  const std::vector<pid_t> walks = ConfinedChildrenOf(service_->process().pid());
  ASSERT_EQ(walks.size(), 1u) << ServiceStderr();
  EXPECT_EQ(StatusField(walks[0], "NoNewPrivs"), "1");

  ASSERT_EQ(::kill(walks[0], SIGKILL), 0);
  ASSERT_EQ(reply.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(reply.get(), "iRet=1");
  EXPECT_EQ(zvtest::ReadFile(CurrentPlist("alice", "PX-100")), before);
  EXPECT_EQ(WalkPrinterA(), "iRet=0");
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1], "xpc - mibwalk_XPC - iRet=1");
  EXPECT_EQ(log[2].rfind(kKilledLine, 0), 0u) << log[2];
}

// The walk's own time limit (--walk-timeout 1) ends a walk whose tries of
// 0.1 s would last 10 s: the silent printer sees about ten of them, never
// the forty that a limit four times as long would send (a loaded machine
// sends fewer, never more). A walk's process that no longer runs
// (stopped with SIGSTOP) cannot end its own walk: at that deadline, well
// before 8 s, the service kills it, answers 1 and merges the failed walk
// in a fresh process; on SIGTERM it kills it and writes nothing.
TEST_F(WalkProcessTest, StuckWalkProcessIsEndedAtTheDeadlineAndOnStop) {
  StartService(/*default_directory=*/false, {"--walk-timeout", "1"});
  zvtest::SilentDevice silent;
  {
    const std::string reply = zvtest::SendWalkRequest(
        socket_path(), zvtest::WalkRequestText("PX-100", "alice",
                                               {"-v", "2c", "-c", "public", "-r", "99", "-t", "0.1",
                                                silent.address(), zvtest::ProfileTableOid()}));
    EXPECT_EQ(reply, "iRet=1");
    const int tries = silent.DatagramsReceived();
    EXPECT_GE(tries, 1);
    EXPECT_LE(tries, 25);
  }
  ASSERT_EQ(WalkPrinterA(), "iRet=0");
  for (const bool stop_service : {false, true}) {
    const std::string before = zvtest::ReadFile(CurrentPlist("alice", "PX-100"));
    bool seen = false;
    auto reply = StartSilentWalk(silent, "alice", 60, &seen);
    ASSERT_TRUE(seen) << ServiceStderr();
    const std::vector<pid_t> walks = ConfinedChildrenOf(service_->process().pid());
    ASSERT_EQ(walks.size(), 1u);
    ASSERT_EQ(::kill(walks[0], SIGSTOP), 0);
    if (!stop_service) {
      ASSERT_EQ(reply.wait_for(std::chrono::seconds(8)), std::future_status::ready);
      EXPECT_EQ(reply.get(), "iRet=1");
      // Merged as a failed walk: the entries the last walk reported leave
      // the menu.
      const zvtest::StoredProfiles lists = zvtest::ReadStoredProfiles(CurrentPlist("alice", "PX-100"));
      ASSERT_TRUE(lists.read);
      EXPECT_TRUE(lists.rgb.empty() && lists.sim.empty() && lists.dst.empty());
      continue;
    }
    service_->process().Signal(SIGTERM);
    EXPECT_EQ(reply.get(), "error:the service is stopping");
    EXPECT_EQ(service_->process().Wait(5000), 0);
    EXPECT_EQ(zvtest::ReadFile(CurrentPlist("alice", "PX-100")), before);
    service_.reset();  // already ended
  }
}

TEST_F(WalkProcessTest, LiveWalkEndsWhileASilentOneStillWaits) {
  StartService();
  zvtest::SilentDevice silent;
  bool seen = false;
  // Tries of 2 s: the silent walk (a GETBULK, then a GETNEXT) lasts 4 s,
  // far longer than the live one.
  auto silent_reply = StartSilentWalk(silent, "bob", 2, &seen);
  ASSERT_TRUE(seen) << ServiceStderr();
  EXPECT_EQ(WalkPrinterA(), "iRet=0");
  EXPECT_EQ(silent_reply.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  EXPECT_EQ(silent_reply.get(), "iRet=1");
}

TEST_F(WalkProcessTest, TwoWalksOfOneListAtOnceBothAnswerAndLeaveEachProfileOnce) {
  StartService();
  auto first = std::async(std::launch::async, [this] { return WalkPrinterA(); });
  auto second = std::async(std::launch::async, [this] { return WalkPrinterA(); });
  EXPECT_EQ(first.get(), "iRet=0");
  EXPECT_EQ(second.get(), "iRet=0");
  const zvtest::StoredProfiles lists = zvtest::ReadStoredProfiles(CurrentPlist("alice", "PX-100"));
  ASSERT_TRUE(lists.read);
  // Printer A: two RGB profiles, one of class 3 (in SIM and DST), each
  // reported by the last walk.
  EXPECT_EQ(lists.rgb.size(), 2u);
  EXPECT_EQ(lists.sim.size(), 1u);
  EXPECT_EQ(lists.dst.size(), 1u);
  for (const auto* list : {&lists.rgb, &lists.sim, &lists.dst}) {
    for (const std::string& slot : *list) EXPECT_EQ(slot.substr(slot.rfind(' ')), " 2") << slot;
  }
  EXPECT_EQ(PreferencesEntries(), std::vector<std::string>{"alice-PX-100-profile.plist"});
}

// The process of the next walk is started ahead with the configuration of
// its time; a change to snmp.conf, or to a file it includes, still holds
// from the next walk on, also when the changed file keeps an older time
// (cp -p).
TEST_F(WalkProcessTest, ConfigurationChangeHoldsFromTheNextWalk) {
  StartService();
  const std::string folder = std::getenv("SNMPCONFPATH");
  const std::string configuration = folder + "/snmp.conf";
  const std::string included = folder + "/included.conf";
  const std::string original = zvtest::ReadFile(configuration);
  // Without -v the configuration's defVersion holds, else SNMPv3, which
  // cannot open a session without a security name.
  const std::vector<std::string> no_version = {"-c", "public", printer_->address(), zvtest::ProfileTableOid()};
  const struct {
    std::string file, text;
    bool keep_old_time;
    std::string reply;
  } steps[] = {
      {configuration, original, false, "iRet=1"},
      {configuration, original + "defVersion 2c\n", true, "iRet=0"},
      {configuration, original + "includeFile included.conf\n", true, "iRet=1"},
      {included, "defVersion 2c\n", true, "iRet=0"},
      {included, "\n", true, "iRet=1"},
      {configuration, original, false, "iRet=1"},
  };
  for (const auto& step : steps) {
    // Once a walk has ended, the next walk's process is waiting, set up.
    for (int i = 0; &step != steps && i < 500 && ChildrenOf(service_->process().pid()).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    zvtest::WriteFile(step.file, step.text);
    if (step.keep_old_time) {
      const timespec an_hour_ago[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, step.file.c_str(), an_hour_ago, 0), 0);
    }
    EXPECT_EQ(Walk("PX-100", "alice", no_version), step.reply) << step.file << ": " << step.text;
  }
  std::remove(included.c_str());
}

// The process started ahead for the next walk may die while it waits: the
// next walk is handed a fresh one, not the dead one.
TEST_F(WalkProcessTest, AProcessStartedAheadThatDiedIsReplaced) {
  StartService();
  ASSERT_EQ(WalkPrinterA(), "iRet=0");
  // The walk's own process is reaped aside; the one started ahead stays.
  std::vector<pid_t> ready;
  for (int i = 0; i < 500 && (ready = ChildrenOf(service_->process().pid())).size() != 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(ready.size(), 1u);
  ASSERT_EQ(::kill(ready[0], SIGKILL), 0);
  for (int i = 0; i < 500 && StatusField(ready[0], "State") != "Z"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(WalkPrinterA(), "iRet=0");
}

// -t takes seconds with a fraction: half a second is a wait, not none.
TEST_F(WalkProcessTest, AHalfSecondTimeoutWalksTheLivePrinter) {
  StartService();
  std::vector<std::string> arguments = zvtest::TableWalkArguments(printer_->address());
  arguments.insert(arguments.begin(), {"-t", "0.5"});
  EXPECT_EQ(Walk("PX-100", "alice", arguments), "iRet=0");
  const zvtest::StoredProfiles lists = zvtest::ReadStoredProfiles(CurrentPlist("alice", "PX-100"));
  EXPECT_EQ(lists.rgb.size() + lists.sim.size() + lists.dst.size(), 4u);
}

// An -m names modules the MIB folders hold, or is a usage error. A set
// that then fails to load fails the one walk whose process loaded it, and
// is dropped: the walk after it answers 0 again.
TEST_F(WalkProcessTest, AnMibSetThatDoesNotLoadFailsOneWalkAndIsDropped) {
  zvtest::TempDir mibs;
  zvtest::WriteFile(mibs.File("broken.txt"),
                    "BROKEN-MIB DEFINITIONS ::= BEGIN\nbrokenRoot OBJECT IDENTIFIER ::= { iso 3\nEND\n");
  zvtest::ScopedVariable folders("MIBDIRS", mibs.path());
  StartService(/*default_directory=*/false, {"--verbose"});
  std::vector<std::string> with_mibs = zvtest::TableWalkArguments(printer_->address());
  with_mibs.insert(with_mibs.begin(), {"-m", "NOPE-MIB"});
  EXPECT_EQ(Walk("PX-100", "alice", with_mibs), "iRet=-1");
  with_mibs[1] = "BROKEN-MIB";
  EXPECT_EQ(Walk("PX-100", "alice", with_mibs), "iRet=0");  // MIBS holds from the next walk on
  EXPECT_EQ(WalkPrinterA(), "iRet=1");
  EXPECT_NE(LogLines().back().find("iRet=1: the MIBs of -m 'BROKEN-MIB' did not load: "), std::string::npos)
      << LogLines().back();
  EXPECT_EQ(WalkPrinterA(), "iRet=0");
}

// A module in a folder that only snmp.conf's mibdirs names passes the -m
// check, and the walk's process may read and load it.
TEST_F(WalkProcessTest, AModuleInAFolderOnlySnmpConfNamesIsFoundAndLoaded) {
  zvtest::TempDir mibs;
  zvtest::WriteFile(mibs.File("only.txt"), "ONLY-CONF-MIB DEFINITIONS ::= BEGIN\n"
                                           "onlyRoot OBJECT IDENTIFIER ::= { iso 3 6 1 4 1 32473 90 }\nEND\n");
  const std::string configuration = std::string(std::getenv("SNMPCONFPATH")) + "/snmp.conf";
  const std::string original = zvtest::ReadFile(configuration);
  zvtest::WriteFile(configuration, original + "mibdirs " + mibs.path() + "\n");
  StartService(/*default_directory=*/false, {"--verbose"});
  std::vector<std::string> with_mibs = zvtest::TableWalkArguments(printer_->address());
  with_mibs.insert(with_mibs.begin(), {"-m", "ONLY-CONF-MIB"});
  EXPECT_EQ(Walk("PX-100", "alice", with_mibs), "iRet=0");
  EXPECT_EQ(WalkPrinterA(), "iRet=0");
  EXPECT_EQ(LogLines().back().find("did not load"), std::string::npos) << LogLines().back();
  zvtest::WriteFile(configuration, original);
}

// A walk's -M sets the MIB folders of that walk alone, as snmpwalk reads
// it: "+FOLDER" adds a folder, whose module passes the -m check and loads
// in the next walk given the same folders; a plain value replaces the
// folders, so a module found only in those that snmp.conf names is refused.
TEST_F(WalkProcessTest, AWalksMibFoldersOptionSetsTheFoldersOfThatWalk) {
  zvtest::TempDir configured;
  zvtest::TempDir own;
  zvtest::WriteFile(configured.File("a.txt"), "ONLY-A-MIB DEFINITIONS ::= BEGIN END\n");
  zvtest::WriteFile(own.File("b.txt"), "ONLY-B-MIB DEFINITIONS ::= BEGIN\n"
                                       "onlyRoot OBJECT IDENTIFIER ::= { iso 3 6 1 4 1 32473 91 }\nEND\n");
  const std::string configuration = std::string(std::getenv("SNMPCONFPATH")) + "/snmp.conf";
  const std::string original = zvtest::ReadFile(configuration);
  zvtest::WriteFile(configuration, original + "mibdirs +" + configured.path() + "\n");
  StartService(/*default_directory=*/false, {"--verbose"});
  const auto walk_with = [&](const std::vector<std::string>& options) {
    std::vector<std::string> arguments = zvtest::TableWalkArguments(printer_->address());
    arguments.insert(arguments.begin(), options.begin(), options.end());
    return Walk("PX-100", "alice", arguments);
  };
  EXPECT_EQ(walk_with({"-M", "+" + own.path(), "-m", "ONLY-B-MIB"}), "iRet=0");
  EXPECT_EQ(walk_with({"-M", "+" + own.path()}), "iRet=0");
  EXPECT_EQ(LogLines().back().find("did not load"), std::string::npos) << LogLines().back();
  EXPECT_EQ(walk_with({"-M", "/nonexistent", "-m", "ONLY-A-MIB"}), "iRet=-1");
  EXPECT_NE(LogLines().back().find("defines the module 'ONLY-A-MIB'"), std::string::npos) << LogLines().back();
  zvtest::WriteFile(configuration, original);
}

// The -C toggles a walk's arguments flip hold for later walks even when its
// process dies before it ends: they are reported as soon as the arguments
// are parsed. (Only its count of variables is lost.)
TEST_F(WalkProcessTest, TogglesOfAWalkWhoseProcessDiedStillHold) {
  const std::string snmprec = zvtest::ProfileCellOid(1, 1) + "|2|11\n" + zvtest::ProfileCellOid(1, 2) +
                              "|2:error|op=get,status=generror,value=1\n";
  std::string error;
  auto repeating = SnmpAgent::StartSnmpsim(snmprec, &error);
  ASSERT_NE(repeating, nullptr) << error;
  StartService(/*default_directory=*/false, {"--verbose"});
  zvtest::SilentDevice silent;
  auto reply = std::async(std::launch::async, [this, &silent] {
    return Walk("PX-100", "alice", {"-v", "2c", "-c", "public", "-r", "0", "-t", "60", "-Cc", silent.address(),
                                    zvtest::ProfileTableOid()});
  });
  ASSERT_TRUE(silent.AwaitDatagram(5000)) << ServiceStderr();
  const std::vector<pid_t> walks = ConfinedChildrenOf(service_->process().pid());
  ASSERT_EQ(walks.size(), 1u);
  ASSERT_EQ(::kill(walks[0], SIGKILL), 0);
  EXPECT_EQ(reply.get(), "iRet=1");
  // The ordering check is off: the repeated OID ends the walk as such.
  EXPECT_EQ(Walk("PX-100", "alice", {"-v", "2c", "-c", "public", repeating->address(), zvtest::ProfileTableOid()}),
            "iRet=1");
  EXPECT_NE(LogLines().back().find("the device returned the OID asked for"), std::string::npos) << LogLines().back();
}

TEST_F(WalkProcessTest, AServiceKilledDuringAWalkTakesTheWalksProcessAlong) {
  StartService();
  ASSERT_EQ(WalkPrinterA(), "iRet=0");
  const std::string before = zvtest::ReadFile(CurrentPlist("alice", "PX-100"));
  zvtest::SilentDevice silent;
  bool seen = false;
  auto reply = StartSilentWalk(silent, "alice", 60, &seen);
  ASSERT_TRUE(seen) << ServiceStderr();
  const std::vector<pid_t> walks = ConfinedChildrenOf(service_->process().pid());
  ASSERT_EQ(walks.size(), 1u);
  service_->process().Signal(SIGKILL);
  EXPECT_FALSE(service_->process().Wait(5000).has_value());  // killed: no exit code
  bool gone = false;
  for (int waited = 0; !gone && waited < 1000; waited += 10) {
    const std::string state = StatusField(walks[0], "State");
    gone = state.empty() || state == "Z";
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
  reply.wait();
  EXPECT_EQ(zvtest::ReadFile(CurrentPlist("alice", "PX-100")), before);
  service_.reset();
}

// The service saves what the walk reported: a list that is a link to a
// missing file in another folder is written behind the link, and a
// temporary a killed save left beside the list is removed by the next save.
TEST_F(WalkProcessTest, TheSaveLandsBehindADanglingLinkAndClearsStaleTemporaries) {
  ASSERT_EQ(::mkdir(dir_.File("elsewhere").c_str(), 0700), 0);
  const std::string behind = dir_.File("elsewhere/alice.plist");
  ASSERT_EQ(::symlink(behind.c_str(), CurrentPlist("alice", "PX-100").c_str()), 0);
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string stale = dir_.File("elsewhere/.alice.plist." + std::to_string(gone) + ".0.tmp");
  zvtest::WriteFile(stale, "half a list");
  StartService();
  EXPECT_EQ(WalkPrinterA(), "iRet=0");
  EXPECT_EQ(zvtest::ReadStoredProfiles(behind).rgb.size(), 2u);
  EXPECT_EQ(zvtest::ReadStoredProfiles(CurrentPlist("alice", "PX-100")).rgb.size(), 2u);
  EXPECT_FALSE(zvtest::Exists(stale));
}

// Bob's list is a link to Alice's: two names of one list, walked at once
// from two printers with different rows. Neither walk's rows are lost.
TEST_F(WalkProcessTest, TwoNamesOfOneListWalkedAtOnceFromTwoPrintersKeepBothPrintersRows) {
  std::string error;
  auto printer_b = SnmpAgent::StartSnmpd(zvtest::ProfileTableOverrides(zvtest::PrinterBTable()), &error);
  ASSERT_NE(printer_b, nullptr) << error;
  ASSERT_EQ(::symlink("alice-PX-100-profile.plist", CurrentPlist("bob", "PX-100").c_str()), 0);
  StartService();
  for (int round = 0; round < 5; ++round) {
    std::remove(CurrentPlist("alice", "PX-100").c_str());
    auto a = std::async(std::launch::async, [this] { return WalkPrinterA("alice"); });
    auto b = std::async(std::launch::async, [&] {
      return Walk("PX-100", "bob", zvtest::TableWalkArguments(printer_b->address()));
    });
    EXPECT_EQ(a.get(), "iRet=0");
    EXPECT_EQ(b.get(), "iRet=0");
    // Both printers' two RGB profiles: the later walk aged the earlier's
    // to 1 (listed), and kept them.
    EXPECT_EQ(zvtest::ReadStoredProfiles(CurrentPlist("alice", "PX-100")).rgb.size(), 4u) << "round " << round;
  }
}

// The error variation answers with the OID asked for: with the ordering
// check on the walk ends on an OID that does not increase, with it off
// (-Cc) on the OID asked for coming back. The verbose entry tells which.
TEST_F(WalkProcessTest, ToggledSettingsHoldForLaterWalksUntilToggledBack) {
  const std::string snmprec = zvtest::ProfileCellOid(1, 1) + "|2|11\n" + zvtest::ProfileCellOid(1, 2) +
                              "|2:error|op=get,status=generror,value=1\n";
  std::string error;
  auto repeating = SnmpAgent::StartSnmpsim(snmprec, &error);
  ASSERT_NE(repeating, nullptr) << error;
  StartService(/*default_directory=*/false, {"--verbose"});
  const auto walk = [&](const std::vector<std::string>& toggles) {
    std::vector<std::string> arguments = {"-v", "2c", "-c", "public"};
    arguments.insert(arguments.end(), toggles.begin(), toggles.end());
    arguments.insert(arguments.end(), {repeating->address(), zvtest::ProfileTableOid()});
    return Walk("PX-100", "alice", arguments);
  };
  constexpr std::string_view kUnchecked = "the device returned the OID asked for";
  constexpr std::string_view kChecked = "OID not increasing";
  const struct {
    std::vector<std::string> toggles;
    std::string_view reason;
  } walks[] = {{{"-Cc"}, kUnchecked}, {{}, kUnchecked}, {{"-Cc"}, kChecked}, {{}, kChecked}};
  for (const auto& step : walks) {
    ASSERT_EQ(walk(step.toggles), "iRet=1");
    const std::vector<std::string> log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find(step.reason), std::string::npos) << log.back();
  }
  // With -Cp the count goes beside the reason, never in its place.
  ASSERT_EQ(walk({"-Cp"}), "iRet=1");
  EXPECT_NE(LogLines().back().find(std::string(kChecked)), std::string::npos) << LogLines().back();
  EXPECT_NE(LogLines().back().find("; variables found: "), std::string::npos) << LogLines().back();
  for (const std::string& line : LogLines()) EXPECT_EQ(line.find("the walk's process"), std::string::npos) << line;
}

// While an SNMPv3 walk waits for its printer's first answer, its keys
// made from pass phrases given as arguments or in snmp.conf, its process
// holds neither pass phrase anywhere in its memory, and no process of the
// user but root can read that memory at all. The engine identifier is
// given, so the session opens without a discovery.
TEST_F(WalkProcessTest, AWaitingWalksProcessHoldsNoPassPhrase) {
  const std::string configuration = std::string(std::getenv("SNMPCONFPATH")) + "/snmp.conf";
  const std::string original = zvtest::ReadFile(configuration);
  const std::string auth = "auth phrase held nowhere", priv = "priv phrase held nowhere";
  const struct {
    std::vector<std::string> pass_phrases;
    std::string configured;
  } cases[] = {
      {{"-A", auth, "-X", priv}, ""},
      {{}, "defAuthPassphrase \"" + auth + "\"\ndefPrivPassphrase \"" + priv + "\"\n"},
  };
  zvtest::SilentDevice silent;
  for (const auto& c : cases) {
    zvtest::WriteFile(configuration, original + c.configured);
    StartService();
    std::vector<std::string> arguments = {"-v", "3", "-u", "U", "-l", "authPriv", "-a", "SHA", "-x", "AES",
                                          "-e", "0x8000000001020304", "-r", "0", "-t", "60"};
    arguments.insert(arguments.end(), c.pass_phrases.begin(), c.pass_phrases.end());
    arguments.insert(arguments.end(), {silent.address(), zvtest::ProfileTableOid()});
    auto reply = std::async(std::launch::async, [&] {
      return zvtest::SendWalkRequest(socket_path(), zvtest::WalkRequestText("PX-100", "alice", arguments));
    });
    ASSERT_TRUE(silent.AwaitDatagram(5000)) << ServiceStderr();
    const std::vector<pid_t> walks = ConfinedChildrenOf(service_->process().pid());
    ASSERT_EQ(walks.size(), 1u);
    std::string memory;
    const bool read = zvtest::ReadPrivateMemory(walks[0], &memory);
    if (::geteuid() != 0) {
      EXPECT_EQ(read ? 0 : errno, EACCES);
    } else {
      ASSERT_TRUE(read);
      EXPECT_NE(memory.find(silent.address()), std::string::npos);
      EXPECT_EQ(memory.find(auth), std::string::npos) << c.configured;
      EXPECT_EQ(memory.find(priv), std::string::npos) << c.configured;
    }
    ::kill(walks[0], SIGKILL);
    EXPECT_EQ(reply.get(), "iRet=1");
    service_.reset();
  }
  zvtest::WriteFile(configuration, original);
}

}  // namespace
