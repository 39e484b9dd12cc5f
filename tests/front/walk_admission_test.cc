// SPDX-License-Identifier: MIT
// Which walks run at once: never more than the cap, never two of one list.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "front/walk_admission.h"

namespace {

TEST(WalkAdmissionTest, AtMostTheCapRunAndNeverTwoOfOneList) {
  // Twelve walks over six lists.
  const std::vector<std::string> lists = {"/p/a", "/p/b", "/p/c", "/p/d", "/p/e", "/p/f"};
  std::mutex mutex;
  std::map<std::string, int> inside;
  int running = 0;
  int most_running = 0;
  int most_of_one_list = 0;
  std::atomic<int> walked{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 12; ++i) {
    threads.emplace_back([&, list = lists[i % lists.size()]] {
      zv::WalkAdmission admission(list);
      if (!admission.admitted()) return;
      {
        std::lock_guard<std::mutex> lock(mutex);
        most_running = std::max(most_running, ++running);
        most_of_one_list = std::max(most_of_one_list, ++inside[list]);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      {
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        --inside[list];
      }
      walked.fetch_add(1);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(walked.load(), 12);
  EXPECT_LE(most_running, zv::kMaxWalksAtOnce);
  EXPECT_EQ(most_of_one_list, 1);
}

}  // namespace
