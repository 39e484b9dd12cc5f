// SPDX-License-Identifier: MIT
// The watchdog of the MIB load: it acts only on a load that outlasts its
// bound, and then while the load still runs.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "walk/mib_loading.h"

namespace {

TEST(RunWithinTest, TheOverrunComesOnlyWhileALoadOutlastsItsBound) {
  // A load that waits for the overrun: only the bound can end its wait.
  std::promise<void> overrun;
  std::future<void> overrun_came = overrun.get_future();
  zv::RunWithin(
      std::chrono::milliseconds(1),
      [&] { EXPECT_EQ(overrun_came.wait_for(std::chrono::seconds(60)), std::future_status::ready); },
      [&] { overrun.set_value(); });
  // A load that returns at once, far within its bound.
  bool called = false;
  zv::RunWithin(std::chrono::hours(1), [] {}, [&] { called = true; });
  EXPECT_FALSE(called);
}

}  // namespace
