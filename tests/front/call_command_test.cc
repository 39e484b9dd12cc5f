// SPDX-License-Identifier: MIT
// `zvxpc call` against a real zvxpcd: replies on standard output, the
// text from standard input, and exit code 2 for every failure; and zvxpc's
// command line: help, usage errors, options before the command, and the
// bash completion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

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

TEST_F(CallCommandTest, PrintsTheReplyAndExitsZeroOrOneForFalse) {
  const auto result = Call({"--socket", socket(), "zvPListExistProfile_XPC:reply:", dir_.path()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "TRUE\n");

  // FALSE is printed as any reply, and exits 1 as a refusal.
  const auto no_text = Call({"--socket", socket(), "zvPListExistProfile_XPC:reply:"});
  EXPECT_EQ(no_text.exit_code, 1);
  EXPECT_EQ(no_text.out, "FALSE\n");

  // Options after the operands; "--" before a text that begins with '-'.
  const auto walk = Call({"mibwalk_XPC:reply:", "--socket=" + socket(), "--", "-x:ModelName:END"});
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

TEST_F(CallCommandTest, FailuresExitTwoWithTheReason) {
  const auto unknown = Call({"--socket", socket(), "noSuch:reply:", "x"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("unknown operation: noSuch:reply:"), std::string::npos) << unknown.err;

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
  EXPECT_EQ(Call({"--list", "op"}).exit_code, 2);
  EXPECT_EQ(Call({"op", "--timeout", "0"}).exit_code, 2);
}

TEST_F(CallCommandTest, ListsTheOperations) {
  const auto result = Call({"--list"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = result.out.find('\n', at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 12u) << result.out;
  for (const char* operation : {"zvPListIsAdminProfile_XPC:reply: ", "mibwalk_XPC:reply: ", "serviceStatus_XPC:reply: "}) {
    EXPECT_NE(result.out.find(operation), std::string::npos) << result.out;
  }
}

// `stream` holds `part`, or is empty when `part` is.
void ExpectHolds(const std::string& stream, const std::string& part, const std::string& label) {
  if (part.empty()) {
    EXPECT_EQ(stream, "") << label;
  } else {
    EXPECT_NE(stream.find(part), std::string::npos) << label << ": " << stream;
  }
}

// Help and version on standard output with exit 0; usage errors on
// standard error with exit 2.
TEST(ZvxpcCommandLine, HelpVersionAndUsageErrors) {
  struct Case {
    std::vector<std::string> arguments;
    int exit_code;
    std::string out_holds;  // "": standard output stays empty
    std::string err_holds;  // "": standard error stays empty
  };
  const Case cases[] = {
      {{"--version"}, 0, std::string("zvxpc ") + ZVXPC_VERSION + "\n", ""},
      {{"--help"}, 0, "ZVXPC_SOCKET", ""},
      {{"-h"}, 0, "Exit status:", ""},
      {{"help"}, 0, "help [COMMAND]", ""},
      {{"help", "walk"}, 0, "usage: zvxpc walk", ""},
      {{"walk", "--help"}, 0, "1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1", ""},
      {{"call", "x", "--help"}, 0, "usage: zvxpc call", ""},
      {{"profiles", "--help"}, 0, "usage: zvxpc profiles", ""},
      {{}, 2, "", "no command given"},
      {{"frobnicate"}, 2, "", "unknown command 'frobnicate'.\nTry"},
      {{"wlak"}, 2, "", "unknown command 'wlak'. Did you mean 'walk'?"},
      {{"-v"}, 2, "", "unknown option '-v': the version is -V (--version); snmpwalk's options such as -v go after"},
      {{"watch", "--user", "u"}, 2, "", "zvxpc watch: --user U and --model M go together"},
      {{"profile"}, 2, "", "Did you mean 'profiles'?"},
      {{"help", "frobnicate"}, 2, "", "no help for 'frobnicate'"},
      {{"call", "--socket"}, 2, "", "needs a value"},
      {{"walk", "--user", "u", "--model", "m", "--bogus", "x"}, 2, "", "unknown option '--bogus'"},
      {{"profiles", "a", "b"}, 2, "", "zvxpc profiles: one FILE only, not 2\nTry 'zvxpc profiles --help'."},
      {{"help", "status"}, 0, "usage: zvxpc status", ""},
      {{"--timeout", "5", "profiles", "--user", "u"}, 2, "", "zvxpc profiles: --user and --model go together"},
      {{"profiles", "--model", "m", "--user", "u", "x"}, 2, "", "a FILE, or --user and --model, not both"},
      {{"--socket"}, 2, "", "no command given after the options"},
      {{"cancel", "--help"}, 0, "  -h, --help          show this help\n\nExit status: 0 when a walk was cancelled", ""},
      {{"status", "--timeout", "0"}, 2, "", "zvxpc status: --timeout takes whole seconds from 1 to 86400, not '0'"},
      {{"status", "extra"}, 2, "", "zvxpc status: no argument is taken, not 'extra'\nTry 'zvxpc status --help'."},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {ClientBinary()};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    const auto result = RunCommand(argv);
    const std::string label = c.arguments.empty() ? "(none)" : c.arguments[0];
    EXPECT_EQ(result.exit_code, c.exit_code) << label << result.err;
    ExpectHolds(result.out, c.out_holds, label + ", standard output");
    ExpectHolds(result.err, c.err_holds, label + ", standard error");
  }
}

// The bash completion finds the command after the options given before
// it (and their values), and knows every command.
TEST(ZvxpcCommandLine, CompletionFindsTheCommandAfterItsOptions) {
  const char* source_root = std::getenv("ZV_SOURCE_ROOT");
  ASSERT_NE(source_root, nullptr);
  const struct {
    std::string words;  // the command line up to the word being completed
    std::string offered;
  } cases[] = {
      {"zvxpc --socket /s walk --q", "--quiet"},
      {"zvxpc --socket /s --timeout 5 st", "status"},
      {"zvxpc help st", "status"},
      {"zvxpc status --s", "--socket"},
  };
  for (const auto& c : cases) {
    const std::string script = std::string("source '") + source_root + "/completions/zvxpc'; COMP_WORDS=(" + c.words +
                               "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _zvxpc; echo \"${COMPREPLY[*]}\"";
    const auto result = RunCommand({"/bin/bash", "-c", script});
    EXPECT_EQ(result.out, c.offered + "\n") << c.words << result.err;
  }
}

}  // namespace
