// SPDX-License-Identifier: MIT
// Which walks run at once: never two of one list, never more than the cap;
// a walk held back waits, counted, until its turn.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "front/service_status.h"
#include "front/walk_admission.h"

namespace {

// A walk that asks for its place on a thread of its own.
class WaitingWalk {
 public:
  explicit WaitingWalk(std::string list)
      : thread_([this, list = std::move(list)] {
          zv::WalkAdmission admission(list);
          admitted_ = admission.admitted();
          while (!done_) std::this_thread::yield();
        }) {}
  ~WaitingWalk() {
    done_ = true;
    thread_.join();
  }
  bool admitted() const { return admitted_; }

 private:
  std::atomic<bool> admitted_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Waits until `walk` is admitted or one walk is counted waiting; true when
// it waits (held back), false when it was let in.
bool HeldBack(const WaitingWalk& walk) {
  while (!walk.admitted() && zv::CountWalks().waiting == 0) std::this_thread::yield();
  return !walk.admitted();
}

TEST(WalkAdmissionTest, ASecondWalkOfOneListWaitsForTheFirst) {
  auto first = std::make_unique<zv::WalkAdmission>("/p/list");
  ASSERT_TRUE(first->admitted());
  WaitingWalk second("/p/list");
  EXPECT_TRUE(HeldBack(second));
  EXPECT_EQ(zv::CountWalks().running, 1);
  first.reset();
  while (!second.admitted()) std::this_thread::yield();
}

TEST(WalkAdmissionTest, OneWalkPastTheCapWaitsForAPlace) {
  std::vector<std::unique_ptr<zv::WalkAdmission>> running;
  for (int i = 0; i < zv::kMaxWalksAtOnce; ++i) {
    running.push_back(std::make_unique<zv::WalkAdmission>("/p/" + std::to_string(i)));
    ASSERT_TRUE(running.back()->admitted());
  }
  WaitingWalk one_more("/p/more");
  EXPECT_TRUE(HeldBack(one_more));
  EXPECT_EQ(zv::CountWalks().running, zv::kMaxWalksAtOnce);
  running.pop_back();
  while (!one_more.admitted()) std::this_thread::yield();
}

// The status operation's counts are these: two walks running and one
// waiting are told apart.
TEST(WalkAdmissionTest, TheStatusTellsRunningAndWaitingWalksApart) {
  auto first = std::make_unique<zv::WalkAdmission>("/p/a");
  auto second = std::make_unique<zv::WalkAdmission>("/p/b");
  WaitingWalk third("/p/a");
  ASSERT_TRUE(HeldBack(third));
  const std::string status = zv::ServiceStatusText();
  EXPECT_NE(status.find("\nwalks-running=2\nwalks-waiting=1\n"), std::string::npos) << status;
  first.reset();
  while (!third.admitted()) std::this_thread::yield();
}

}  // namespace
