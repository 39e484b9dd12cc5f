// SPDX-License-Identifier: MIT
// What the service learns of each printer's GETBULK: deafness only after
// two walks in a row, for a while, and never for another printer; the
// repetitions a printer's next walk starts with; and printers told apart
// by the address they resolve to.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "front/printer_address.h"
#include "front/service_walk_state.h"

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point g_now{};
Clock::time_point TestNow() { return g_now; }

zv::WalkEnd End(bool deaf, bool answered, int32_t whole = 0) {
  zv::WalkEnd end;
  end.result = 0;
  end.deaf_to_bulk = deaf;
  end.bulk_answered = answered;
  end.whole_repetitions = whole;
  return end;
}

bool Deaf(const std::string& printer) { return zv::BeginSharedWalk(printer, std::nullopt).device_deaf_to_bulk; }

TEST(PrinterMemoryTest, DeafOnlyAfterTwoUnansweredWalksInARowForAWhileAndAlone) {
  zv::SetSharedWalkClock(TestNow);
  const std::string deaf = "udp 192.0.2.1 161", live = "udp 192.0.2.2 161";
  zv::TakePrinterWalk(live, End(false, true));
  zv::TakePrinterWalk(deaf, End(true, false));
  EXPECT_FALSE(Deaf(deaf));  // one lost GETBULK
  zv::TakePrinterWalk(deaf, End(false, true));
  zv::TakePrinterWalk(deaf, End(true, false));
  EXPECT_FALSE(Deaf(deaf));  // an answer between them: not in a row
  zv::TakePrinterWalk(deaf, End(false, false));  // a walk that met silence says nothing
  zv::TakePrinterWalk(deaf, End(true, false));
  EXPECT_TRUE(Deaf(deaf));
  EXPECT_FALSE(Deaf(live));
  g_now += zv::kDeafToGetBulkFor - std::chrono::seconds(1);
  EXPECT_TRUE(Deaf(deaf));
  g_now += std::chrono::seconds(1);
  EXPECT_FALSE(Deaf(deaf));  // tried by GETBULK again
  zv::TakePrinterWalk(deaf, End(true, false));
  EXPECT_TRUE(Deaf(deaf));  // still deaf: the next while starts
  zv::SetSharedWalkClock(nullptr);
}

TEST(PrinterMemoryTest, ANextWalkStartsAtTheMostThatCameBackWholeInItsPrintersLastWalk) {
  const std::string first = "udp 192.0.2.3 161", second = "udp 192.0.2.4 161";
  zv::TakePrinterWalk(first, End(false, true, 100));
  zv::TakePrinterWalk(second, End(false, true, 25));
  zv::TakePrinterWalk(second, End(false, true, 0));  // nothing whole: what it knew stays
  EXPECT_EQ(zv::BeginSharedWalk(first, std::nullopt).start_repetitions, 100);
  EXPECT_EQ(zv::BeginSharedWalk(second, std::nullopt).start_repetitions, 25);
  EXPECT_EQ(zv::BeginSharedWalk("udp 192.0.2.5 161", std::nullopt).start_repetitions, 0);
}

TEST(PrinterKeyTest, OnePrinterWhateverTheAddressTextSays) {
  const std::string key = zv::PrinterKey("127.0.0.1:16161");
  EXPECT_EQ(key, "udp 127.0.0.1 16161");
  for (const char* same : {"udp:127.0.0.1:16161", "UDP:127.0.0.1:16161", "localhost:16161", "[127.0.0.1]:16161"}) {
    EXPECT_EQ(zv::PrinterKey(same), key) << same;
  }
  EXPECT_EQ(zv::PrinterKey("127.0.0.1"), "udp 127.0.0.1 161");
  EXPECT_EQ(zv::PrinterKey("tcp:127.0.0.1:16161"), "tcp 127.0.0.1 16161");
  EXPECT_EQ(zv::PrinterKey("udp6:[::1]:16161"), "udp ::1 16161");
  EXPECT_EQ(zv::PrinterKey("::1"), "udp ::1 161");
}

}  // namespace
