// SPDX-License-Identifier: MIT
// Two users walk two different printers from two connections at the same
// time, again and again: every walk succeeds and each profile list holds
// only its own printer's rows, while file requests are answered in the
// middle of the walks.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "service_calls.h"
#include "walk_service.h"

namespace {

using zvtest::ReadStoredProfiles;
using zvtest::SlotSummary;
using zvtest::SnmpAgent;
using zvtest::StoredProfiles;

constexpr int kWalksPerUser = 8;

class ConcurrentWalksTest : public zvtest::WalkServiceTest {};

// How far the walks of one user have gone.
struct WalkProgress {
  std::atomic<int> started{0};   // walks written to the socket
  std::atomic<int> finished{0};  // walks answered
};

// Walks `count` times on one connection, counting each in `*progress`; the
// replies.
std::vector<std::string> WalkRepeatedly(const std::string& socket_path, const std::string& request, int count,
                                        WalkProgress* progress) {
  std::vector<std::string> replies;
  const zvtest::Client client = zvtest::Connect(socket_path);
  if (!client) return {"failed:connect"};
  for (int i = 0; i < count; ++i) {
    if (zvxpc_send(client.get(), ZVXPC_OP_WALK, request.c_str()) != 0) {
      replies.push_back(std::string("failed:") + zvxpc_error(client.get()));
      continue;
    }
    ++progress->started;
    replies.push_back(zvtest::AwaitReplyText(client.get()));
    ++progress->finished;
  }
  return replies;
}

// True when a walk had been written when the count of started walks read
// `started_before`, and was not answered yet when the count of finished
// ones read `finished_after`: a request made between the two readings went
// through while that walk ran.
bool WalkSpanned(int started_before, int finished_after) { return started_before > finished_after; }

TEST_F(ConcurrentWalksTest, TwoUsersOnTwoPrintersKeepTheirOwnRows) {
  std::string error;
  auto printer_a = SnmpAgent::StartSnmpd(zvtest::ProfileTableOverrides(zvtest::PrinterATable()), &error);
  ASSERT_NE(printer_a, nullptr) << error;
  auto printer_b = SnmpAgent::StartSnmpsim(zvtest::ProfileTableSnmprec(zvtest::PrinterBTable()), &error);
  ASSERT_NE(printer_b, nullptr) << error;
  StartService();

  const std::string alice_request =
      zvtest::WalkRequestText("PX-100", "alice", zvtest::TableWalkArguments(printer_a->address()));
  const std::string bob_request =
      zvtest::WalkRequestText("PX-200", "bob", zvtest::TableWalkArguments(printer_b->address()));
  std::vector<std::string> alice_replies, bob_replies;
  WalkProgress alice_progress, bob_progress;
  std::atomic<bool> walking{true};
  std::thread alice([&] {
    alice_replies = WalkRepeatedly(socket_path(), alice_request, kWalksPerUser, &alice_progress);
  });
  std::thread bob([&] { bob_replies = WalkRepeatedly(socket_path(), bob_request, kWalksPerUser, &bob_progress); });
  // A third connection's file requests, counted when one of the walks was
  // under way from before the request went out until after its reply.
  int file_replies = 0, file_replies_during_a_walk = 0;
  std::thread files([&] {
    const zvtest::Client client = zvtest::Connect(socket_path());
    if (!client) return;
    while (walking.load()) {
      const int alice_started = alice_progress.started, bob_started = bob_progress.started;
      if (zvtest::CallText(client.get(), ZVXPC_OP_EXIST, dir_.path()) != "TRUE") continue;
      ++file_replies;
      if (WalkSpanned(alice_started, alice_progress.finished) || WalkSpanned(bob_started, bob_progress.finished)) {
        ++file_replies_during_a_walk;
      }
    }
  });
  alice.join();
  bob.join();
  walking = false;
  files.join();

  EXPECT_EQ(alice_replies, std::vector<std::string>(kWalksPerUser, "iRet=0")) << ServiceStderr();
  EXPECT_EQ(bob_replies, std::vector<std::string>(kWalksPerUser, "iRet=0")) << ServiceStderr();
  EXPECT_GT(file_replies_during_a_walk, 0) << file_replies << " file replies, none during a walk";
  EXPECT_EQ(LogLines(), std::vector<std::string>(2 * kWalksPerUser, "xpc - mibwalk_XPC - iRet=0"));
  EXPECT_EQ(PreferencesEntries(),
            (std::vector<std::string>{"alice-PX-100-profile.plist", "bob-PX-200-profile.plist"}));

  const StoredProfiles alice_lists = ReadStoredProfiles(CurrentPlist("alice", "PX-100"));
  ASSERT_TRUE(alice_lists.read);
  EXPECT_EQ(alice_lists.rgb, (SlotSummary{"OFFICE.ICC 4 2", "PHOTO.ICC 4 2"}));
  EXPECT_EQ(alice_lists.sim, SlotSummary{"PROOF.ICC 5 2"});
  EXPECT_EQ(alice_lists.dst, SlotSummary{"PROOF.ICC 5 2"});

  const StoredProfiles bob_lists = ReadStoredProfiles(CurrentPlist("bob", "PX-200"));
  ASSERT_TRUE(bob_lists.read);
  EXPECT_EQ(bob_lists.rgb, (SlotSummary{"MATTE.ICC 4 2", "GLOSSY.ICC 5 2"}));
  EXPECT_EQ(bob_lists.sim, SlotSummary{"FINEART.ICC 4 2"});
  EXPECT_EQ(bob_lists.dst, SlotSummary{"FINEART.ICC 4 2"});
}

}  // namespace
