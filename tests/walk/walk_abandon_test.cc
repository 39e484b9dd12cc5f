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

// How long the test waits for what should take well under a second: the
// walk's first request, the walk's end once abandoned. A fault shows as a
// failure after it instead of a hang.
constexpr std::chrono::seconds kPatience{30};

// Waits until `device` has received a request, at most kPatience; then
// abandons walks either way. True when a request came.
bool AbandonOnceRequested(const zvtest::SilentDevice& device) {
  const bool requested =
      device.AwaitDatagram(static_cast<int>(std::chrono::milliseconds(kPatience).count()));
  zv::AbandonWalks();
  return requested;
}

TEST(WalkAbandonTest, WalkInProgressAndLaterWalksEndWithoutWriting) {
  zvtest::UsePrivateSnmpClientConfig();
  zvtest::TempDir dir;
  const std::string path = dir.File("u-m-profile.plist");
  zvtest::CurrentPlist plist(path);
  ASSERT_TRUE(plist.SeedMergeProbe());
  const std::string before = zvtest::ReadFile(path);
  zvtest::SilentDevice device;
  // Four tries of 30 s each unless abandoned; the walk's time limit ends
  // it as a timeout (result 1) if abandoning does not.
  const std::vector<std::string> arguments = {"-v", "2c", "-c", "public", "-t", "30", device.address(),
                                              zvtest::ProfileTableOid()};
  const int time_limit_before = zv::SetWalkTimeLimit(static_cast<int>(kPatience.count()));

  bool requested = false;
  std::thread stopper([&device, &requested] { requested = AbandonOnceRequested(device); });
  const int result = zvtest::Walk(arguments);
  stopper.join();
  zv::SetWalkTimeLimit(time_limit_before);
  EXPECT_TRUE(requested) << "no request reached the device within " << kPatience.count() << " s";
  EXPECT_TRUE(zvtest::ReadFile(path) == before) << "the profile list was written";
  ASSERT_EQ(result, zv::kWalkAbandoned);  // else each later walk would wait out the time limit too

  EXPECT_EQ(zvtest::Walk(arguments), zv::kWalkAbandoned);
  EXPECT_EQ(zvtest::Walk({"-Q"}), zv::kWalkAbandoned);  // a usage error merges nothing either
  EXPECT_EQ(device.DatagramsReceived(), 0);            // no retry, no later request
  EXPECT_TRUE(zvtest::ReadFile(path) == before) << "the profile list was written";
}

}  // namespace
