// SPDX-License-Identifier: MIT
// Every line the service logs stays one line, whatever a walk's notes or a
// client's names put in it.
#include <gtest/gtest.h>

#include <syslog.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "front/system_log.h"
#include "support/log_file.h"
#include "support/temp_dir.h"

namespace {

TEST(SystemLogTest, EachLineOfTheLogFileIsOneStampedLine) {
  zvtest::TempDir dir;
  std::string error;
  ASSERT_TRUE(zv::UseLogFile(dir.File("log"), &error)) << error;
  zv::LogErrorLine("xpc - mibwalk_XPC - the profile list /p/bob\nxpc - mibwalk_XPC - iRet=0\\");
  zv::LogDiagnosticEntry(LOG_WARNING, "entry\r", {{"ZVXPC_USER", "bob"}});
  EXPECT_EQ(zvtest::LogFileLines(dir.File("log")),
            (std::vector<std::string>{"xpc - mibwalk_XPC - the profile list /p/bob\\x0Axpc - mibwalk_XPC - iRet=0\\\\",
                                      "entry\\x0D"}));
  // The stamp: the local time to the millisecond, then the process.
  const std::string text = zvtest::ReadFile(dir.File("log"));
  const std::string pid = " zvxpcd[" + std::to_string(::getpid()) + "]: ";
  EXPECT_EQ(text.find(pid), std::string("2026-12-08T17:59:22.123+00:00").size()) << text;
  EXPECT_EQ(text.rfind(pid), text.find('\n') + 1 + std::string("2026-12-08T17:59:22.123+00:00").size()) << text;
}

}  // namespace
