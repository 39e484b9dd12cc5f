// SPDX-License-Identifier: MIT
// Two users walk two different printers from two connections at the same
// time, again and again: every walk succeeds and each profile list holds
// only its own printer's rows, while file requests keep being answered.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "client/service_client.h"
#include "walk_service.h"

namespace {

using zvtest::ReadStoredProfiles;
using zvtest::SlotSummary;
using zvtest::SnmpAgent;
using zvtest::StoredProfiles;

constexpr int kWalksPerUser = 8;

class ConcurrentWalksTest : public zvtest::WalkServiceTest {};

// Walks `count` times on one connection; the replies.
std::vector<std::string> WalkRepeatedly(const std::string& socket_path, const std::string& request, int count) {
  std::vector<std::string> replies;
  zv::ServiceClient client;
  std::string reply;
  if (!client.Connect(socket_path, &reply)) return {"failed:" + reply};
  for (int i = 0; i < count; ++i) {
    const zv::CallStatus status = client.Call("mibwalk_XPC:reply:", request, &reply);
    replies.push_back(status == zv::CallStatus::kReply ? reply : "failed:" + reply);
  }
  return replies;
}

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
  std::atomic<bool> walking{true};
  std::thread alice([&] { alice_replies = WalkRepeatedly(socket_path(), alice_request, kWalksPerUser); });
  std::thread bob([&] { bob_replies = WalkRepeatedly(socket_path(), bob_request, kWalksPerUser); });
  // A third connection's file requests are answered while the walks run.
  int file_replies = 0;
  std::thread files([&] {
    zv::ServiceClient client;
    std::string reply;
    if (!client.Connect(socket_path(), &reply)) return;
    while (walking.load()) {
      if (client.Call("zvPListExistProfile_XPC:reply:", std::string_view(dir_.path()), &reply) ==
              zv::CallStatus::kReply &&
          reply == "TRUE") {
        ++file_replies;
      }
    }
  });
  alice.join();
  bob.join();
  walking = false;
  files.join();

  EXPECT_EQ(alice_replies, std::vector<std::string>(kWalksPerUser, "iRet=0")) << ServiceStderr();
  EXPECT_EQ(bob_replies, std::vector<std::string>(kWalksPerUser, "iRet=0")) << ServiceStderr();
  EXPECT_GT(file_replies, 0);
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
