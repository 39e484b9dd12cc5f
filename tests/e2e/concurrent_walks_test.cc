// SPDX-License-Identifier: MIT
// Two users walk two different printers from two connections at the same
// time, again and again: every walk succeeds and each profile list holds
// only its own printer's rows. (File requests answered while a walk waits
// are ServiceProcessTest's.)
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

// Walks `count` times on one connection; the replies.
std::vector<std::string> WalkRepeatedly(const std::string& socket_path, const std::string& request, int count) {
  std::vector<std::string> replies;
  const zvtest::Client client = zvtest::Connect(socket_path);
  if (!client) return {"failed:connect"};
  for (int i = 0; i < count; ++i) {
    if (zvxpc_send(client.get(), ZVXPC_OP_WALK, request.c_str()) != 0) {
      replies.push_back(std::string("failed:") + zvxpc_error(client.get()));
      continue;
    }
    replies.push_back(zvtest::AwaitReplyText(client.get()));
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
  std::thread alice([&] { alice_replies = WalkRepeatedly(socket_path(), alice_request, kWalksPerUser); });
  std::thread bob([&] { bob_replies = WalkRepeatedly(socket_path(), bob_request, kWalksPerUser); });
  alice.join();
  bob.join();

  EXPECT_EQ(alice_replies, std::vector<std::string>(kWalksPerUser, "iRet=0")) << ServiceStderr();
  EXPECT_EQ(bob_replies, std::vector<std::string>(kWalksPerUser, "iRet=0")) << ServiceStderr();
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
