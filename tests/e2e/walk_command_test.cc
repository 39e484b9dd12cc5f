// SPDX-License-Identifier: MIT
// `zvxpc walk`: the request text it composes, the reply it prints and its
// exit codes (0 for iRet=0, 1 for another result, 2 when no walk result can
// be had), against the real zvxpcd and, for replies the service never
// gives, a stand-in service on a socket of its own.
#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/xpc/frame_io.h"
#include "platform/xpc/wire_format.h"
#include "support/stand_in_socket.h"
#include "walk_service.h"

namespace {

using zvtest::CommandResult;
using zvtest::ReadStoredProfiles;
using zvtest::SnmpAgent;

// Runs `zvxpc walk`; its default folder of profile lists is one that does
// not exist, so that no test reads the lists of the machine's user.
CommandResult RunWalkCommand(const std::vector<std::string>& arguments, std::vector<std::string> env = {}) {
  std::vector<std::string> argv = {zvtest::ClientBinary(), "walk"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  env.push_back("XDG_CONFIG_HOME=/nonexistent/zvxpc-test-config");
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
  // environment, and empty names.
  const CommandResult again = RunWalkCommand(
      {"--user=", "--model=", "--quiet", "--", "-v2c", "-cpublic", printer_->address(), zvtest::ProfileTableOid()},
      {"ZVXPC_SOCKET=" + socket_path()});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(again.out, "iRet=0\n");
  EXPECT_TRUE(ReadStoredProfiles(preferences_dir() + "--profile.plist").read);
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
// on the first walk, a warning for a walk without the table's root OID, and
// profiles leaving after a failed walk.
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
      {{printer_->address()}, 0, "iRet=0\nRGB: 2 in the menu\nSIM: 1 in the menu\nDST: 1 in the menu\n",
       "warning: the device reported no row of the profile table 1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1"},
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
  };
  const Case cases[] = {
      {{"-v", "2c", "-c", "public", "-r", "0", "-t", "1", silent.address(), zvtest::ProfileTableOid()}, "iRet=1\n"},
      {{"-v", "9", printer_->address()}, "iRet=-1\n"},
      {{"-H"}, "iRet=-2\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = who;
    arguments.insert(arguments.end(), c.walk_arguments.begin(), c.walk_arguments.end());
    const CommandResult result = RunWalkCommand(arguments);
    EXPECT_EQ(result.exit_code, 1) << c.out << result.err;
    EXPECT_EQ(result.out, c.out);
    // One line on standard error says what the result means.
    EXPECT_EQ(result.err.rfind(c.out.substr(0, c.out.size() - 1) + ": ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
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
       "the service is not running at " + dir_.File("none.sock")},
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

// Serves one request on a stand-in socket at `path` in the background:
// keeps its operation and text, and answers with the reply payload `reply`
// (or closes without one).
class StandInService {
 public:
  StandInService(const std::string& path, std::optional<std::string> reply)
      : socket_(path), thread_([this, reply = std::move(reply)] {
          if (!socket_.Accept(10000)) return;
          zv::xpc::FrameReader reader(socket_.connection());
          std::string_view payload;
          zv::xpc::RequestView request;
          std::string error;
          if (reader.Next(&payload) == zv::xpc::FrameStatus::kFrame &&
              zv::xpc::DecodeRequest(payload, &request, &error)) {
            operation_ = request.operation;
            text_ = request.text.value_or("(none)");
            const bool replied = !reply || zv::xpc::WriteFrame(socket_.connection(), *reply, &error);
            EXPECT_TRUE(replied) << error;
          }
          socket_.CloseConnection();
        }) {}
  ~StandInService() { Wait(); }
  /// The request's operation and text, once it was served.
  const std::string& operation() {
    Wait();
    return operation_;
  }
  const std::string& text() {
    Wait();
    return text_;
  }

 private:
  void Wait() {
    if (thread_.joinable()) thread_.join();
  }

  zvtest::StandInSocket socket_;
  std::string operation_, text_;
  std::thread thread_;  // last: it uses the members above
};

TEST_F(WalkCommandTest, ComposesTheRequestTextInOrder) {
  const std::string path = dir_.File("stand-in.sock");
  StandInService stand_in(path, zv::xpc::EncodeReply(zv::xpc::ReplyStatus::kReply, "iRet=0"));
  // The options of zvxpc walk may stand among and after the walk arguments.
  const CommandResult result =
      RunWalkCommand({"--model", "PX-100", "-v", "--socket", path, "2c", "", "192.0.2.7", "--user=alice"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(stand_in.operation(), "mibwalk_XPC:reply:");
  EXPECT_EQ(stand_in.text(), "PX-100:ModelName:ENDalice:USErName:ENDzvxpc:arg:-v:arg:2c:arg::arg:192.0.2.7:arg:");
}

TEST_F(WalkCommandTest, RepliesThatAreNoWalkResultExitTwo) {
  const std::optional<std::string> replies[] = {
      zv::xpc::EncodeReply(zv::xpc::ReplyStatus::kReply, "TRUE"),  // which texts are results: WalkTextTest
      zv::xpc::EncodeReply(zv::xpc::ReplyStatus::kError, "unknown operation"),
      std::nullopt,  // the connection closes without a reply
  };
  int served = 0;
  for (const auto& reply : replies) {
    const std::string path = dir_.File("stand-in-" + std::to_string(served++) + ".sock");
    StandInService stand_in(path, reply);
    const CommandResult result = RunWalkCommand({"--socket", path, "--user", "u", "--model", "m", "127.0.0.1"});
    EXPECT_EQ(result.exit_code, 2) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(result.err.empty());
  }
}

}  // namespace
