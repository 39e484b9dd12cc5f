// SPDX-License-Identifier: MIT
// Abandoning walks when the service stops: the walk in progress and every
// later one end without writing the profile list. A program of its own,
// since abandonment lasts for the life of the process.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/snmp_agents.h"
#include "support/temp_dir.h"
#include "walk/walk_driver.h"
#include "walk/walk_fixture.h"

namespace {

TEST(WalkAbandonTest, WalkInProgressAndLaterWalksEndWithoutWriting) {
  zvtest::UsePrivateSnmpClientConfig();
  zvtest::TempDir dir;
  const std::string path = dir.File("u-m-profile.plist");
  zvtest::CurrentPlist plist(path);
  ASSERT_TRUE(plist.SeedMergeProbe());
  const std::string before = zvtest::ReadFile(path);
  zvtest::SilentDevice device;
  // Four tries of 30 s each unless abandoned.
  const std::vector<std::string> arguments = {"-v", "2c", "-c", "public", "-t", "30", device.address(),
                                              zvtest::ProfileTableOid()};

  std::thread stopper([&device] {
    while (device.DatagramsReceived() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    zv::AbandonWalks();
  });
  const int result = zvtest::Walk(arguments);
  stopper.join();
  EXPECT_EQ(result, zv::kWalkAbandoned);
  EXPECT_EQ(zvtest::ReadFile(path), before);

  EXPECT_EQ(zvtest::Walk(arguments), zv::kWalkAbandoned);
  EXPECT_EQ(zvtest::Walk({"-Q"}), zv::kWalkAbandoned);  // a usage error merges nothing either
  EXPECT_EQ(device.DatagramsReceived(), 0);            // no retry, no later request
  EXPECT_EQ(zvtest::ReadFile(path), before);
}

}  // namespace
