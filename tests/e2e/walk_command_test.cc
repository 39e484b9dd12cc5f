// SPDX-License-Identifier: MIT
// `zvxpc walk`: the request text it composes, the reply it prints and its
// exit codes (0 for iRet=0, 1 for another result, 2 when no walk result can
// be had), against the real zvxpcd and, for replies the service never
// gives, a stand-in service on a socket of its own: the explained walk's
// reason, the folder from the service's status, the plain walk and the
// default folder for a service older than those, and `zvxpc status`.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "store/zvplist.h"
#include "support/stand_in_service.h"
#include "walk_service.h"
#include "zvxpc.h"
#include "zvxpc/walk_summary.h"

namespace {

using zvtest::CommandResult;
using zvtest::ErrorPayload;
using zvtest::ReadStoredProfiles;
using zvtest::ReplyPayload;
using zvtest::SnmpAgent;

// Runs `zvxpc walk`; its default folder of profile lists is one that does
// not exist, so that no test reads the lists of the machine's user.
CommandResult RunWalkCommand(const std::vector<std::string>& arguments, std::vector<std::string> env = {}) {
  std::vector<std::string> argv = {zvtest::ClientBinary(), "walk"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  env.insert(env.begin(), "XDG_CONFIG_HOME=/nonexistent/zvxpc-test-config");  // the caller's setting wins
  return zvtest::RunCommand(argv, "", env);
}

class WalkCommandTest : public zvtest::PrinterAWalkTest {
 protected:
  void SetUp() override {
    PrinterAWalkTest::SetUp();
    StartService();
  }
};

TEST_F(WalkCommandTest, SuccessfulWalkPrintsTheReplyAndExitsZero) {
  const CommandResult result = RunWalkCommand({"--socket", socket_path(), "--user", "alice", "--model", "PX-100",
                                               "--quiet", "-v", "2c", "-c", "public", printer_->address(),
                                               zvtest::ProfileTableOid()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "iRet=0\n");
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(ReadStoredProfiles(CurrentPlist("alice", "PX-100")).read);  // its rows: WalkPathsTest

  // "--" before the walk arguments, '=' forms, the socket from the
  // environment, and empty names; the list read from the folder the
  // service names (the default folder does not exist).
  const CommandResult again = RunWalkCommand(
      {"--user=", "--model=", "--", "-v2c", "-cpublic", printer_->address(), zvtest::ProfileTableOid()},
      {"ZVXPC_SOCKET=" + socket_path()});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(again.out.rfind("iRet=0\nRGB: 2 in the menu (entered: OFFICE.ICC, PHOTO.ICC)\n", 0), 0u) << again.out;
  EXPECT_TRUE(ReadStoredProfiles(preferences_dir() + "--profile.plist").read);
}

// The walk finds its rows, but a folder stands where its list goes: exit
// 3 with the service's reason, and no summary of a list the walk did not
// leave.
TEST_F(WalkCommandTest, ListNotSavedExitsThreeWithTheServicesReason) {
  const std::string list = CurrentPlist("alice", "PX-100");
  ASSERT_EQ(::mkdir(list.c_str(), 0755), 0);
  const CommandResult result = RunWalkCommand({"--socket", socket_path(), "--user", "alice", "--model", "PX-100",
                                               "-v", "2c", "-c", "public", printer_->address(),
                                               zvtest::ProfileTableOid()});
  EXPECT_EQ(result.exit_code, 3);
  EXPECT_EQ(result.out, "iRet=0\n");
  EXPECT_EQ(result.err,
            "zvxpc walk: the walk found its rows, but the service could not save the profile list: 3 rows, 3 "
            "classes; the profile list '" + list + "' could not be written: '" + list +
                "' leads to a directory, not a regular file\n");
}

// `zvxpc watch` sees another connection's walk of its list and a client's
// write of it, one line each, and nothing of another user's list.
TEST_F(WalkCommandTest, WatchPrintsEachChangeOfItsLists) {
  CommandResult watched;
  std::thread watcher([&] {
    // A change that never comes fails the watch by its timeout, not the test's.
    watched = zvtest::RunCommand({zvtest::ClientBinary(), "watch", "--socket", socket_path(), "--user", "alice",
                                  "--model", "PX-100", "--count", "2", "--timeout", "30"});
  });
  // The watch counts once the service holds it; changes before would be
  // nobody's.
  for (int tries = 0; tries < 10000; ++tries) {
    const CommandResult status = zvtest::RunCommand({zvtest::ClientBinary(), "status", "--socket", socket_path()});
    if (status.out.find("\nwatches=1\n") != std::string::npos) break;
  }
  const auto walk = [this](const std::string& user) {
    return RunWalkCommand({"--socket", socket_path(), "--quiet", "--user", user, "--model", "PX-100", "-v", "2c",
                           "-c", "public", printer_->address(), zvtest::ProfileTableOid()})
        .exit_code;
  };
  EXPECT_EQ(walk("bob"), 0);
  EXPECT_EQ(walk("alice"), 0);
  const std::string list = CurrentPlist("alice", "PX-100");
  const CommandResult write =
      zvtest::RunCommand({zvtest::ClientBinary(), "call", "--socket", socket_path(), ZVXPC_OP_WRITE_DICTIONARY, "-"},
                         "file://" + list + ZVXPC_MARKER_URL_END + zvtest::ReadFile(list));
  EXPECT_EQ(write.out, "TRUE\n") << write.err;
  watcher.join();
  EXPECT_EQ(watched.exit_code, 0) << watched.err;
  EXPECT_EQ(watched.out, "walk " + list + "\nwrite " + list + "\n");
}

// --json gives what a script reads back: the walk's result, its list and
// menus, and the status with its numbers as numbers.
TEST_F(WalkCommandTest, JsonOutputReadsBack) {
  const auto read = [](const std::string& json, const std::string& expression) {
    return zvtest::RunCommand({"/usr/bin/python3", "-c", "import json, sys; d = json.load(sys.stdin); print(" +
                                                             expression + ")"},
                              json)
        .out;
  };
  const CommandResult walk = RunWalkCommand({"--json", "--socket", socket_path(), "--user", "alice", "--model",
                                             "PX-100", "-v", "2c", "-c", "public", printer_->address(),
                                             zvtest::ProfileTableOid()});
  EXPECT_EQ(walk.exit_code, 0) << walk.err;
  EXPECT_EQ(read(walk.out, "d['iRet'], d['saved'], d['list'], [e['FileName'] for e in d['menus']['RGB']]"),
            "0 True saved ['OFFICE.ICC', 'PHOTO.ICC']\n")
      << walk.out;
  const CommandResult status = zvtest::RunCommand({zvtest::ClientBinary(), "status", "--json", "--socket", socket_path()});
  EXPECT_EQ(read(status.out, "type(d['pid']).__name__, d['walk-timeout'], d['preferences-dir'] == '" +
                                 preferences_dir() + "'"),
            "int 120 True\n")
      << status.out;
}

// The reasons hint at what a person can mend: the address and the
// community of a printer that never answers (and one retry is one), and an
// option given after the address, which is never read.
TEST_F(WalkCommandTest, ReasonsHintAtWhatToMend) {
  zvtest::SilentDevice silent;
  const struct {
    std::vector<std::string> walk_arguments;
    std::string err;
  } cases[] = {
      {{"-v", "2c", "-c", "public", "-t", "1", "-r", "1", silent.address()},
       "iRet=1: " + silent.address() + " did not answer within 2 s (1 retry) (check the address and the community: "
       "a device drops a request with a community it does not know)\n"},
      {{"-v", "2c", printer_->address(), zvtest::ProfileTableOid(), "-c", "public"},
       "iRet=-1: No community name specified: options after the address are not read ('-c' and what follows)\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"--socket", socket_path(), "--quiet", "--user", "u", "--model", "m", "--"};
    arguments.insert(arguments.end(), c.walk_arguments.begin(), c.walk_arguments.end());
    const CommandResult result = RunWalkCommand(arguments);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, c.err);
  }
}

// `zvxpc profiles --user U --model M` reads the list the walk left, in
// the folder the service names; --preferences-dir names another folder.
TEST_F(WalkCommandTest, ProfilesByUserAndModelReadTheServicesList) {
  ASSERT_EQ(RunWalkCommand({"--socket", socket_path(), "--user", "alice", "--model", "PX-100", "--quiet", "-v", "2c",
                            "-c", "public", printer_->address(), zvtest::ProfileTableOid()})
                .exit_code,
            0);
  const auto profiles = [this](std::vector<std::string> options) {
    std::vector<std::string> argv = {zvtest::ClientBinary(), "profiles", "--json", "--socket", socket_path(),
                                     "--user", "alice", "--model", "PX-100"};
    argv.insert(argv.end(), options.begin(), options.end());
    return zvtest::RunCommand(argv, "", {"XDG_CONFIG_HOME=/nonexistent/zvxpc-test-config"});
  };
  const CommandResult from_service = profiles({});
  EXPECT_EQ(from_service.exit_code, 0) << from_service.err;
  EXPECT_NE(from_service.out.find("\"FileName\":\"OFFICE.ICC\""), std::string::npos) << from_service.out;
  const CommandResult elsewhere = profiles({"--preferences-dir", dir_.File("elsewhere")});
  EXPECT_EQ(elsewhere.exit_code, 1);
  EXPECT_NE(elsewhere.err.find(dir_.File("elsewhere")), std::string::npos) << elsewhere.err;
}

// The default service (GETBULK, sized to the printer's answers) leaves the
// list that a service told to walk by GETNEXT leaves, byte for byte (a
// walk's own "-C r" is WalkArgumentsTest's).
TEST_F(WalkCommandTest, BulkWalksLeaveTheSameListAsTheGetNextWalk) {
  const auto walk = [this](const std::string& user, const std::vector<std::string>& options) {
    std::vector<std::string> arguments = {"--socket", socket_path(), "--user", user, "--model", "PX-100",
                                          "--quiet", "-v", "2c", "-c", "public"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.insert(arguments.end(), {printer_->address(), zvtest::ProfileTableOid()});
    const CommandResult result = RunWalkCommand(arguments);
    EXPECT_EQ(result.out, "iRet=0\n") << result.err;
    return zvtest::ReadFile(CurrentPlist(user, "PX-100"));
  };
  const std::string by_default = walk("default", {});
  ASSERT_TRUE(ReadStoredProfiles(CurrentPlist("default", "PX-100")).read);
  service_.reset();
  StartService(false, {"--bulk-repetitions", "0"});
  EXPECT_EQ(walk("getnext", {}), by_default);
}

// After the reply line, what each walk did to the menus: profiles entering
// on the first walk, leaving the menu after a walk without the table's root
// OID (which reports none of them; with a warning), entering again, and
// leaving after a failed walk.
TEST_F(WalkCommandTest, SummaryShowsWhatEachWalkDidToTheMenus) {
  zvtest::SilentDevice silent;
  const std::vector<std::string> who = {"--socket", socket_path(), "--user", "alice", "--model", "PX-100",
                                        "--preferences-dir", preferences_dir(), "-v", "2c", "-c", "public"};
  struct Step {
    std::vector<std::string> walk_arguments;
    int exit_code;
    std::string out;
    std::string err_holds;  // "": standard error stays empty
  };
  const Step steps[] = {
      {{printer_->address(), zvtest::ProfileTableOid()}, 0,
       "iRet=0\nRGB: 2 in the menu (entered: OFFICE.ICC, PHOTO.ICC)\nSIM: 1 in the menu (entered: PROOF.ICC)\n"
       "DST: 1 in the menu (entered: PROOF.ICC)\n",
       ""},
      {{printer_->address()}, 0,
       "iRet=0\nRGB: 0 in the menu (left: OFFICE.ICC, PHOTO.ICC)\nSIM: 0 in the menu (left: PROOF.ICC)\n"
       "DST: 0 in the menu (left: PROOF.ICC)\n",
       "warning: the device reported no row of the profile table 1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1"},
      {{printer_->address(), zvtest::ProfileTableOid()}, 0,
       "iRet=0\nRGB: 2 in the menu (entered: OFFICE.ICC, PHOTO.ICC)\nSIM: 1 in the menu (entered: PROOF.ICC)\n"
       "DST: 1 in the menu (entered: PROOF.ICC)\n",
       ""},
      {{"-r", "0", "-t", "1", silent.address(), zvtest::ProfileTableOid()}, 1,
       "iRet=1\nRGB: 0 in the menu (left: OFFICE.ICC, PHOTO.ICC)\nSIM: 0 in the menu (left: PROOF.ICC)\n"
       "DST: 0 in the menu (left: PROOF.ICC)\n",
       "iRet=1: "},
  };
  for (const Step& step : steps) {
    std::vector<std::string> arguments = who;
    arguments.insert(arguments.end(), step.walk_arguments.begin(), step.walk_arguments.end());
    const CommandResult result = RunWalkCommand(arguments);
    EXPECT_EQ(result.exit_code, step.exit_code) << result.err;
    EXPECT_EQ(result.out, step.out);
    if (step.err_holds.empty()) {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_NE(result.err.find(step.err_holds), std::string::npos) << result.err;
    }
  }
}

TEST_F(WalkCommandTest, OtherResultsExitOne) {
  zvtest::SilentDevice silent;
  const std::vector<std::string> who = {"--socket", socket_path(), "--user", "alice", "--model", "PX-100", "--quiet"};
  struct Case {
    std::vector<std::string> walk_arguments;
    std::string out;
    std::string reason;  // what the service's reason holds
  };
  const Case cases[] = {
      {{"-v", "2c", "-c", "public", "-r", "0", "-t", "1", silent.address(), zvtest::ProfileTableOid()}, "iRet=1\n",
       "did not answer"},
      {{"-v", "9", printer_->address()}, "iRet=-1\n", ""},
      {{"-H"}, "iRet=-2\n", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = who;
    arguments.insert(arguments.end(), c.walk_arguments.begin(), c.walk_arguments.end());
    const CommandResult result = RunWalkCommand(arguments);
    EXPECT_EQ(result.exit_code, 1) << c.out << result.err;
    EXPECT_EQ(result.out, c.out);
    // One line on standard error says what the result means, with the
    // service's reason.
    EXPECT_EQ(result.err.rfind(c.out.substr(0, c.out.size() - 1) + ": ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
  }
}

TEST_F(WalkCommandTest, NoWalkResultExitsTwoWithTheReason) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::string socket = socket_path();
  const Case cases[] = {
      {{"--socket", dir_.File("none.sock"), "--user", "u", "--model", "m", "127.0.0.1"},
       "the service is not running at " + dir_.File("none.sock") +
           " (start it with 'systemctl --user start zvxpcd.socket' or as /"},
      {{"--socket", socket, "--user", "u", "--model", "m"}, "no walk arguments"},
      {{"--socket", socket, "--user", "u", "--model", "m", "--"}, "no walk arguments"},
      {{"--socket", socket, "--model", "m", "127.0.0.1"}, "--user U and --model M are required"},
      {{"--socket", socket, "--user", "u", "127.0.0.1"}, "--user U and --model M are required"},
      // One text the request cannot carry; which ones are WalkTextTest's.
      {{"--socket", socket, "--user", "u", "--model", "m", "a:arg:b"}, "may not contain \":arg:\""},
  };
  for (const Case& c : cases) {
    const CommandResult result = RunWalkCommand(c.arguments);
    EXPECT_EQ(result.exit_code, 2) << c.message;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  // None of them reached the service.
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(WalkCommandTest, ComposesTheRequestTextInOrder) {
  const std::string path = dir_.File("stand-in.sock");
  zvtest::StandInService stand_in(path, {ReplyPayload("iRet=0")});
  // The options of zvxpc walk may stand among and after the walk arguments,
  // and before the command's name.
  const std::vector<std::string> argv = {zvtest::ClientBinary(), "--socket", path, "walk", "--model", "PX-100", "-v",
                                         "2c", "", "--quiet", "192.0.2.7", "--user=alice"};
  const CommandResult result = zvtest::RunCommand(argv);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  ASSERT_EQ(stand_in.requests().size(), 1u);
  EXPECT_EQ(stand_in.requests()[0].operation, ZVXPC_OP_WALK_EXPLAINED);
  EXPECT_EQ(stand_in.requests()[0].text,
            "PX-100:ModelName:ENDalice:USErName:ENDzvxpc:arg:-v:arg:2c:arg::arg:192.0.2.7:arg:");
}

// The folder of the lists comes from the service's status, and a failed
// walk's reason from the explained walk; a service older than both
// refuses them as unknown operations, and the walk goes on as before: the
// plain walk, the default folder and this program's own explanation.
TEST_F(WalkCommandTest, ReasonAndFolderComeFromTheServiceUnlessItIsOlder) {
  const std::string service_folder = dir_.File("service-folder") + "/", default_folder = dir_.File("config");
  const auto write_list = [](const std::string& folder) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    auto lists = zvxpc::EmptySnapshot();
    lists->classes[ZV_CLASS_RGB].iNum = 1;
    lists->classes[ZV_CLASS_RGB].slots[0].InMenu = ZV_INMENU_CLIENT;
    std::strcpy(lists->classes[ZV_CLASS_RGB].slots[0].FileName, "MINE.ICC");
    char* path = zvplist_path(folder.c_str(), "u", "m");
    ASSERT_EQ(zvplist_write(path, &lists->classes[0], &lists->classes[1], &lists->classes[2], nullptr), 0);
    std::free(path);
  };
  write_list(service_folder);
  ASSERT_EQ(::mkdir(default_folder.c_str(), 0700), 0);
  write_list(default_folder + "/zvxpc");
  const std::string status = "version=0.4.0\nwalks-running=1\npreferences-dir=" + service_folder;
  const std::string summary = "iRet=1\nRGB: 1 in the menu\nSIM: 0 in the menu\nDST: 0 in the menu\n";
  struct Case {
    const char* name;
    std::vector<std::optional<std::string>> replies;
    std::vector<std::string> operations;
    std::string err;
  };
  const Case cases[] = {
      {"a service that explains",
       {ReplyPayload(status), ReplyPayload("iRet=1" ZVXPC_REASON_MARKER "unknown host 'no\\x01host'")},
       {ZVXPC_OP_STATUS, ZVXPC_OP_WALK_EXPLAINED},
       "iRet=1: unknown host 'no\\x01host'\n"},
      {"an older service",
       {ErrorPayload("unknown operation: " ZVXPC_OP_STATUS),
        ErrorPayload("unknown operation: " ZVXPC_OP_WALK_EXPLAINED), ReplyPayload("iRet=1")},
       {ZVXPC_OP_STATUS, ZVXPC_OP_WALK_EXPLAINED, ZVXPC_OP_WALK},
       "iRet=1: the device did not answer, or the walk failed\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File("stand-in.sock");
    std::vector<std::string> operations;
    {
      zvtest::StandInService stand_in(path, c.replies);
      const CommandResult result = RunWalkCommand({"--socket", path, "--user", "u", "--model", "m", "192.0.2.7"},
                                                  {"XDG_CONFIG_HOME=" + default_folder});
      EXPECT_EQ(result.exit_code, 1) << result.err;
      EXPECT_EQ(result.out, summary);
      EXPECT_EQ(result.err, c.err);
      for (const zvtest::ServedRequest& request : stand_in.requests()) operations.push_back(request.operation);
    }
    EXPECT_EQ(operations, c.operations);
    ::unlink(path.c_str());
  }
}

TEST_F(WalkCommandTest, RepliesThatAreNoWalkResultExitTwo) {
  const std::optional<std::string> replies[] = {
      ReplyPayload("TRUE"),  // which texts are results: WalkTextTest
      ErrorPayload("the service is busy"),
      std::nullopt,  // the connection closes without a reply
  };
  int served = 0;
  for (const auto& reply : replies) {
    const std::string path = dir_.File("stand-in-" + std::to_string(served++) + ".sock");
    zvtest::StandInService stand_in(path, {reply});
    const CommandResult result =
        RunWalkCommand({"--socket", path, "--quiet", "--user", "u", "--model", "m", "127.0.0.1"});
    EXPECT_EQ(result.exit_code, 2) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(result.err.empty());
  }
}

// `zvxpc status` prints the fields the service gives, each on one line.
TEST_F(WalkCommandTest, StatusPrintsTheServicesFields) {
  const std::string path = dir_.File("stand-in.sock");
  zvtest::StandInService stand_in(
      path, {ReplyPayload("version=0.4.0\nbulk-repetitions=auto\nwalks-running=2\nwalks-waiting=1\n"
                          "preferences-dir=/home/u/odd\nname/")});
  const CommandResult result = zvtest::RunCommand({zvtest::ClientBinary(), "status", "--socket", path});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "version=0.4.0\nbulk-repetitions=auto\nwalks-running=2\nwalks-waiting=1\n"
            "preferences-dir=/home/u/odd\\x0Aname/\n");
  ASSERT_EQ(stand_in.requests().size(), 1u);
  EXPECT_EQ(stand_in.requests()[0].operation, ZVXPC_OP_STATUS);
  EXPECT_EQ(stand_in.requests()[0].text, "(none)");
}

}  // namespace
