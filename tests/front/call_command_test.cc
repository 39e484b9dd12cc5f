// `zvxpc call` against a real zvxpcd: replies on standard output, the
// text from standard input, and exit code 2 for every failure.
#include <gtest/gtest.h>

#include <string>

#include "service_process.h"
#include "support/temp_dir.h"

namespace {

using zvtest::ClientBinary;
using zvtest::RunCommand;

class CallCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = std::make_unique<zvtest::ServiceProcess>(dir_.path());
    ASSERT_TRUE(service_->ok());
  }
  zvtest::CommandResult Call(const std::vector<std::string>& args, const std::string& input = "",
                             const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv = {ClientBinary(), "call"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, input, env);
  }
  const std::string& socket() const { return service_->socket_path(); }

  zvtest::TempDir dir_;
  std::unique_ptr<zvtest::ServiceProcess> service_;
};

TEST_F(CallCommandTest, PrintsTheReplyAndExitsZero) {
  const auto result = Call({"--socket", socket(), "zvPListExistProfile_XPC:reply:", dir_.path()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "TRUE\n");

  const auto no_text = Call({"--socket", socket(), "zvPListExistProfile_XPC:reply:"});
  EXPECT_EQ(no_text.exit_code, 0);
  EXPECT_EQ(no_text.out, "FALSE\n");

  const auto walk = Call({"--socket=" + socket(), "mibwalk_XPC:reply:", "-x:ModelName:END"});
  EXPECT_EQ(walk.exit_code, 0);
  EXPECT_EQ(walk.out, "iRet=-1\n");
}

TEST_F(CallCommandTest, DashReadsTheTextFromStandardInput) {
  const std::string body = "<plist>\n  <dict/>\n</plist>\n";
  const auto result = Call({"--socket", socket(), "writeDictionaryToPlistFile_XPC:reply:", "-"},
                           "file://" + dir_.File("in.plist") + ":AddURL:END" + body);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "TRUE\n");
  EXPECT_EQ(zvtest::ReadFile(dir_.File("in.plist")), body);
}

TEST_F(CallCommandTest, SocketFromTheEnvironment) {
  const auto result = Call({"zvPListExistProfile_XPC:reply:", dir_.path()}, "", {"ZVXPC_SOCKET=" + socket()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "TRUE\n");
}

TEST_F(CallCommandTest, FailuresExitTwoWithTheReason) {
  const auto unknown = Call({"--socket", socket(), "noSuch:reply:", "x"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("unknown operation: noSuch:reply:"), std::string::npos) << unknown.err;

  const auto no_service = Call({"--socket", dir_.File("nobody.sock"), "zvPListExistProfile_XPC:reply:"});
  EXPECT_EQ(no_service.exit_code, 2);
  EXPECT_NE(no_service.err.find("connect("), std::string::npos) << no_service.err;

  const auto bad_utf8 = Call({"--socket", socket(), "zvPListExistProfile_XPC:reply:", "-"}, "\xFF");
  EXPECT_EQ(bad_utf8.exit_code, 2);
  EXPECT_NE(bad_utf8.err.find("not valid UTF-8"), std::string::npos) << bad_utf8.err;

  const auto oversized = Call({"--socket", socket(), "zvPListExistProfile_XPC:reply:", "-"},
                              std::string(16 * 1024 * 1024, 'a'));
  EXPECT_EQ(oversized.exit_code, 2);
  EXPECT_NE(oversized.err.find("exceeds the limit of 16777216 bytes"), std::string::npos) << oversized.err;

  EXPECT_EQ(Call({}).exit_code, 2);
  EXPECT_EQ(Call({"--socket", socket(), "op", "a", "b"}).exit_code, 2);
  EXPECT_EQ(Call({"--bogus", "op"}).exit_code, 2);
}

}  // namespace
