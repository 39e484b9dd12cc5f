// SPDX-License-Identifier: MIT
// SNMPv3 with pass phrases through `zvxpc walk` and the real zvxpcd, whose
// walk's process makes the keys under its confinement: the right pass
// phrases walk the table, a wrong one ends with iRet=1 and its reason, and
// no pass phrase reaches the log, the client's output or any file the
// service writes, nor stays in the service's memory.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/process_memory.h"
#include "walk_service.h"

namespace {

using zvtest::CommandResult;

class SnmpV3ServiceTest : public zvtest::WalkServiceTest {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    printer_ = zvtest::SnmpAgent::StartSnmpd(
        zvtest::SnmpV3UserLines() + zvtest::ProfileTableOverrides(zvtest::PrinterATable()), &error);
    ASSERT_NE(printer_, nullptr) << error;
  }
  static void TearDownTestSuite() { printer_.reset(); }

  void SetUp() override {
    ASSERT_NE(printer_, nullptr);
    WalkServiceTest::SetUp();
  }

  // `zvxpc walk` of user U at authPriv with SHA and AES.
  CommandResult WalkWith(const std::string& auth_pass_phrase) const {
    return zvtest::RunCommand({zvtest::ClientBinary(), "walk", "--socket", socket_path(), "--user", "alice",
                               "--model", "PX-100", "--preferences-dir", preferences_dir(), "-v", "3", "-u", "U",
                               "-l", "authPriv", "-a", "SHA", "-A", auth_pass_phrase, "-x", "AES", "-X",
                               zvtest::kSnmpV3PrivPassPhrase, printer_->address(), zvtest::ProfileTableOid()},
                              "", {"XDG_CONFIG_HOME=/nonexistent/zvxpc-test-config"});
  }

  // The contents of every file in the test's folder: the service's log
  // and standard error, the profile lists and whatever else it left.
  std::string EveryFile() const {
    std::string contents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
      if (entry.is_regular_file()) contents += zvtest::ReadFile(entry.path().string());
    }
    return contents;
  }

  static std::unique_ptr<zvtest::SnmpAgent> printer_;
};

std::unique_ptr<zvtest::SnmpAgent> SnmpV3ServiceTest::printer_;

TEST_F(SnmpV3ServiceTest, PassPhrasesWalkAndAppearInNoLogOutputOrFile) {
  StartService(/*default_directory=*/false, {"--verbose"});
  const std::string wrong = "wrong phrase 1";
  const CommandResult right_walk = WalkWith(zvtest::kSnmpV3AuthPassPhrase);
  EXPECT_EQ(right_walk.exit_code, 0) << right_walk.err;
  EXPECT_EQ(right_walk.out,
            "iRet=0\nRGB: 2 in the menu (entered: OFFICE.ICC, PHOTO.ICC)\nSIM: 1 in the menu (entered: PROOF.ICC)\n"
            "DST: 1 in the menu (entered: PROOF.ICC)\n");

  const CommandResult wrong_walk = WalkWith(wrong);
  EXPECT_EQ(wrong_walk.exit_code, 1) << wrong_walk.err;
  EXPECT_EQ(wrong_walk.out,
            "iRet=1\nRGB: 0 in the menu (left: OFFICE.ICC, PHOTO.ICC)\nSIM: 0 in the menu (left: PROOF.ICC)\n"
            "DST: 0 in the menu (left: PROOF.ICC)\n");
  const std::string device = "device '" + printer_->address() + "'";
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "xpc - mibwalk_XPC - iRet=0",
                            "xpc - mibwalk_XPC - user 'alice' model 'PX-100' " + device + " iRet=0: 3 rows, 3 classes",
                            "xpc - mibwalk_XPC - iRet=1",
                            "xpc - mibwalk_XPC - user 'alice' model 'PX-100' " + device +
                                " iRet=1: authentication failed with -a SHA (check the user, the pass phrases and the protocol)",
                        }))
      << ServiceStderr();

  const std::string files = EveryFile();
  const std::string output = right_walk.out + right_walk.err + wrong_walk.out + wrong_walk.err;
  for (const std::string& secret : {std::string(zvtest::kSnmpV3AuthPassPhrase),
                                   std::string(zvtest::kSnmpV3PrivPassPhrase), wrong}) {
    EXPECT_EQ(files.find(secret), std::string::npos) << secret;
    EXPECT_EQ(output.find(secret), std::string::npos) << secret;
  }
}

// Once the walk has answered, the service holds no copy of a pass phrase:
// not in the request it read, the walk's arguments, the job it handed over
// nor any buffer given back.
TEST_F(SnmpV3ServiceTest, NoPassPhraseStaysInTheServicesMemory) {
  if (::geteuid() != 0) GTEST_SKIP() << "reading the service's memory through /proc/PID/mem takes root";
  StartService();
  const CommandResult walk = WalkWith(zvtest::kSnmpV3AuthPassPhrase);
  ASSERT_EQ(walk.exit_code, 0) << walk.err;
  // A wrong pass phrase takes the same way through the service; this one is
  // too long for a string's own small buffer, so a copy of it would lie in
  // memory given back, its first 16 bytes overwritten by the allocator.
  const std::string long_phrase = "a wrong pass phrase longer than any small-string buffer";
  ASSERT_EQ(WalkWith(long_phrase).exit_code, 1);
  std::string memory;
  ASSERT_TRUE(zvtest::ReadPrivateMemory(service_->process().pid(), &memory));
  // The read reaches what the service holds: its socket's path.
  ASSERT_NE(memory.find(socket_path()), std::string::npos);
  for (const std::string& secret : {std::string(zvtest::kSnmpV3AuthPassPhrase),
                                    std::string(zvtest::kSnmpV3PrivPassPhrase), long_phrase.substr(16)}) {
    EXPECT_EQ(memory.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
