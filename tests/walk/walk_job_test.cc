// SPDX-License-Identifier: MIT
// What the service and a walk's process tell each other: the job and the
// messages survive their bytes whole, whatever pieces the pipe cuts them
// into, and anything malformed is refused; and the rule by which walks
// hand their process-wide state on, one after the other and overlapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "walk/walk_job.h"
#include "walk/walk_process_state.h"

namespace {

using zv::WalkJob;
using zv::WalkMessage;
using zv::WalkMessageReader;
using zv::WalkNote;
using zv::WalkProcessState;

WalkProcessState SomeState() {
  WalkProcessState state;
  state.time_limit_seconds = 7;
  state.request_limit = 1234567890123;
  state.print_statistics_toggled = true;
  state.variables_found = -5;
  state.mibs = std::string("ALL\0x", 5);
  return state;
}

bool SameState(const WalkProcessState& a, const WalkProcessState& b) {
  return a.time_limit_seconds == b.time_limit_seconds && a.request_limit == b.request_limit &&
         a.include_requested_toggled == b.include_requested_toggled &&
         a.print_statistics_toggled == b.print_statistics_toggled &&
         a.dont_check_ordering_toggled == b.dont_check_ordering_toggled &&
         a.variables_found == b.variables_found && a.mibs == b.mibs;
}

TEST(WalkJobTest, JobSurvivesItsBytesAndTruncationsAreRefused) {
  WalkJob job;
  job.kind = zv::WalkJobKind::kMergeFailed;
  job.current_path = "/p/u-m-profile.plist";
  job.spool_path = "/p/u-m-profile.spool.plist";
  job.arguments = {"zvxpc", "-c", "", std::string(3000, 'x')};
  job.state = SomeState();
  const std::string bytes = zv::EncodeWalkJob(job);

  WalkJob decoded;
  ASSERT_TRUE(zv::DecodeWalkJob(bytes, &decoded));
  EXPECT_EQ(decoded.kind, job.kind);
  EXPECT_EQ(decoded.current_path, job.current_path);
  EXPECT_EQ(decoded.previous_path, "");
  EXPECT_EQ(decoded.spool_path, job.spool_path);
  EXPECT_EQ(decoded.arguments, job.arguments);
  EXPECT_TRUE(SameState(decoded.state, job.state));

  for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, bytes.size() / 2, bytes.size() - 1}) {
    EXPECT_FALSE(zv::DecodeWalkJob(bytes.substr(0, cut), &decoded)) << cut;
  }
  EXPECT_FALSE(zv::DecodeWalkJob(bytes + "x", &decoded));
  std::string unknown_kind = bytes;
  unknown_kind[0] = 9;
  EXPECT_FALSE(zv::DecodeWalkJob(unknown_kind, &decoded));
}

TEST(WalkJobTest, MessagesArriveWholeAndInOrderWhateverThePieces) {
  // A note kind the reader does not know by name is passed on as it is.
  const auto later_kind = static_cast<WalkNote>(17);
  const std::string stream = zv::EncodeNoteMessage(WalkNote::kDevice, "127.0.0.1:161") +
                             zv::EncodeNoteMessage(later_kind, "") + zv::EncodeLogLineMessage("kept aside") +
                             zv::EncodeResultMessage(-2, SomeState());
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, stream.size()}) {
    WalkMessageReader reader;
    std::vector<WalkMessage> messages;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      ASSERT_TRUE(reader.Feed(stream.substr(at, piece), [&](const WalkMessage& m) { messages.push_back(m); }));
    }
    ASSERT_EQ(messages.size(), 4u) << piece;
    EXPECT_FALSE(reader.Unfinished());
    EXPECT_EQ(messages[0].note, WalkNote::kDevice);
    EXPECT_EQ(messages[0].text, "127.0.0.1:161");
    EXPECT_EQ(messages[1].note, later_kind);
    EXPECT_EQ(messages[2].kind, zv::WalkMessageKind::kLogLine);
    EXPECT_EQ(messages[2].text, "kept aside");
    EXPECT_EQ(messages[3].kind, zv::WalkMessageKind::kResult);
    EXPECT_EQ(messages[3].result, -2);
    EXPECT_TRUE(SameState(messages[3].state, SomeState()));
  }
}

TEST(WalkJobTest, MalformedMessagesStopTheReaderForGood) {
  const std::string note = zv::EncodeNoteMessage(WalkNote::kReason, "why");
  std::string unknown_kind = note;
  unknown_kind[0] = 9;
  std::string too_long = note;
  too_long.replace(1, 4, std::string("\xff\xff\xff\x7f", 4));
  std::string bad_payload = note;
  bad_payload[1] = static_cast<char>(bad_payload[1] - 1);  // the text's length overruns the message
  for (const std::string& bytes : {unknown_kind, too_long, bad_payload}) {
    WalkMessageReader reader;
    int taken = 0;
    EXPECT_FALSE(reader.Feed(bytes, [&](const WalkMessage&) { ++taken; }));
    EXPECT_FALSE(reader.Feed(note, [&](const WalkMessage&) { ++taken; }));
    EXPECT_EQ(taken, 0);
  }
}

TEST(WalkStateCarryTest, WalksOneAfterTheOtherAndOverlappingKeepEachOthersChanges) {
  WalkProcessState shared;
  shared.variables_found = INT32_MAX - 10;
  // Two walks begin from the same state and overlap.
  const WalkProcessState first_start = shared;
  const WalkProcessState second_start = shared;
  WalkProcessState first_end = first_start;
  first_end.dont_check_ordering_toggled = true;  // -Cc
  first_end.variables_found += 4;
  first_end.mibs = "IF-MIB";
  WalkProcessState second_end = second_start;
  second_end.dont_check_ordering_toggled = true;  // -Cc as well: the two flips cancel
  second_end.include_requested_toggled = true;    // -Ci
  second_end.variables_found += 3;
  second_end.time_limit_seconds = 1;  // a setting: never taken back
  zv::CarryWalkChanges(first_start, first_end, &shared);
  zv::CarryWalkChanges(second_start, second_end, &shared);
  EXPECT_FALSE(shared.dont_check_ordering_toggled);
  EXPECT_TRUE(shared.include_requested_toggled);
  EXPECT_EQ(shared.variables_found, INT32_MAX - 3);
  EXPECT_EQ(shared.mibs, "IF-MIB");  // the second walk left MIBS alone
  EXPECT_EQ(shared.time_limit_seconds, zv::kDefaultWalkTimeLimitSeconds);

  // A third walk, after both, starts from their state; its count stops at
  // the top and its toggle flips the shared one back.
  const WalkProcessState third_start = shared;
  WalkProcessState third_end = third_start;
  third_end.include_requested_toggled = false;
  third_end.variables_found = INT32_MAX;
  third_end.mibs.reset();
  zv::CarryWalkChanges(third_start, third_end, &shared);
  EXPECT_FALSE(shared.include_requested_toggled);
  EXPECT_EQ(shared.variables_found, INT32_MAX);
  EXPECT_FALSE(shared.mibs.has_value());
}

}  // namespace
