// SPDX-License-Identifier: MIT
// Every line the service logs stays one line, whatever a walk's notes or a
// client's names put in it.
#include <gtest/gtest.h>

#include <string>

#include "front/system_log.h"
#include "support/temp_dir.h"

namespace {

TEST(SystemLogTest, ALineWithControlCharactersIsOneLineInTheLogFile) {
  zvtest::TempDir dir;
  std::string error;
  ASSERT_TRUE(zv::UseLogFile(dir.File("log"), &error)) << error;
  zv::LogErrorLine("xpc - mibwalk_XPC - the profile list /p/bob\nxpc - mibwalk_XPC - iRet=0\\");
  EXPECT_EQ(zvtest::ReadFile(dir.File("log")),
            "xpc - mibwalk_XPC - the profile list /p/bob\\x0Axpc - mibwalk_XPC - iRet=0\\\\\n");
}

}  // namespace
