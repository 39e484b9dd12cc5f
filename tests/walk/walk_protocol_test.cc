// SPDX-License-Identifier: MIT
// What the service and a walk's process tell each other: the job and the
// report survive their bytes whole, whatever pieces the pipe cuts them
// into; everything a walk's process may send wrong is refused, for good;
// and the rule by which walks hand their toggles and counter on, one
// after the other and overlapping.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "report/walk_protocol.h"

namespace {

using zv::WalkNote;
using zv::WalkReport;
using zv::WalkReportReader;

ProfileRecord Record(const char* file_name, const char* profile_name) {
  ProfileRecord record{};
  record.IndexOnDevice = -7;
  record.Location = 4;
  record.ProfileClass = 3;
  record.ProfileAvailability = 1;
  std::strcpy(record.FileName, file_name);
  std::strcpy(record.ProfileName, profile_name);
  return record;
}

// Feeds `bytes` in pieces of `piece`; false at the first refusal.
bool FeedInPieces(WalkReportReader& reader, const std::string& bytes, std::size_t piece, WalkReport* report) {
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    if (!reader.Feed(std::string_view(bytes).substr(at, piece), report)) return false;
  }
  return true;
}

TEST(WalkProtocolTest, JobSurvivesItsBytesAndTruncationsAreRefused) {
  zv::WalkJob job;
  job.arguments = {"zvxpc", "-c", "", std::string(3000, 'x')};
  job.state.time_limit_seconds = 7;
  job.state.request_limit = 1234567890123;
  job.state.toggled.print_statistics = true;
  job.state.variables_found = -5;
  job.device_deaf_to_bulk = true;
  job.mibs_on_trial = true;
  job.start_repetitions = 100;
  const std::string bytes = zv::EncodeWalkJob(job);

  zv::WalkJob decoded;
  ASSERT_TRUE(zv::DecodeWalkJob(bytes, &decoded));
  EXPECT_EQ(decoded.arguments, job.arguments);
  EXPECT_EQ(decoded.state.time_limit_seconds, 7);
  EXPECT_EQ(decoded.state.request_limit, 1234567890123);
  EXPECT_EQ(decoded.state.toggled, job.state.toggled);
  EXPECT_EQ(decoded.state.variables_found, -5);
  EXPECT_TRUE(decoded.device_deaf_to_bulk);
  EXPECT_TRUE(decoded.mibs_on_trial);
  EXPECT_EQ(decoded.start_repetitions, 100);
  for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, bytes.size() / 2, bytes.size() - 1}) {
    EXPECT_FALSE(zv::DecodeWalkJob(bytes.substr(0, cut), &decoded)) << cut;
  }
  EXPECT_FALSE(zv::DecodeWalkJob(bytes + "x", &decoded));
}

TEST(WalkProtocolTest, AReportArrivesWholeAndInOrderWhateverThePieces) {
  const std::string stream = zv::EncodeNoteMessage(WalkNote::kDevice, "127.0.0.1:161") +
                             zv::EncodeSettingsMessage({true, false, true}) +
                             zv::EncodeNoteMessage(WalkNote::kReason, "why\nnot") +
                             zv::EncodeRowMessage(500, Record("P.ICC", "Photo")) +
                             zv::EncodeRowMessage(1, Record(std::string(31, 'F').c_str(), "")) +
                             zv::EncodeEndMessage({2, 500, 9, true, true, true, 100});
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, stream.size()}) {
    std::vector<std::string> notes;
    WalkReportReader reader(9, [&notes](WalkNote note, std::string_view text) {
      notes.push_back(std::to_string(static_cast<int>(note)) + ":" + std::string(text));
    });
    WalkReport report;
    ASSERT_TRUE(FeedInPieces(reader, stream, piece, &report)) << reader.problem();
    EXPECT_FALSE(reader.Unfinished());
    EXPECT_EQ(notes, (std::vector<std::string>{"0:127.0.0.1:161", "1:why\nnot"}));
    ASSERT_TRUE(report.toggled.has_value());
    EXPECT_EQ(*report.toggled, (zv::WalkToggles{true, false, true}));
    EXPECT_EQ(report.rows, 2);
    const ProfileRecord photo = Record("P.ICC", "Photo");
    EXPECT_EQ(std::memcmp(&report.spool->slots[499], &photo, sizeof(ProfileRecord)), 0);
    EXPECT_STREQ(report.spool->slots[0].FileName, std::string(31, 'F').c_str());
    EXPECT_EQ(report.spool->iNum, 500);
    ASSERT_TRUE(report.end.has_value());
    EXPECT_EQ(report.end->result, 2);
    EXPECT_TRUE(report.end->deaf_to_bulk);
    EXPECT_TRUE(report.end->mibs_not_loaded);
    EXPECT_TRUE(report.end->bulk_answered);
    EXPECT_EQ(report.end->whole_repetitions, 100);
  }
}

// Replaces the bytes [at, at + bytes.size()) of `message`.
std::string Patched(std::string message, std::size_t at, const std::string& bytes) {
  return message.replace(at, bytes.size(), bytes);
}

TEST(WalkProtocolTest, EverythingAWalksProcessMaySendWrongIsRefusedForGood) {
  const std::string settings = zv::EncodeSettingsMessage({});
  const std::string row = zv::EncodeRowMessage(1, Record("A.ICC", "a"));
  const std::string end = zv::EncodeEndMessage({0, 0, 5, false});
  std::string many_notes;
  while (many_notes.size() <= zv::kMaxWalkReportBytes) {
    many_notes += zv::EncodeNoteMessage(WalkNote::kDetail, std::string(zv::kMaxWalkNoteBytes, 'n'));
  }
  ProfileRecord unterminated = Record("A.ICC", "a");
  std::memset(unterminated.FileName, 'x', sizeof unterminated.FileName);
  std::string all_rows;
  for (int r = 1; r <= 500; ++r) all_rows += zv::EncodeRowMessage(r, Record("A.ICC", "a"));
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"an unknown kind", Patched(settings, 0, "\x09")},
      {"a length past its kind's", Patched(settings, 1, std::string("\xff\xff\xff\x7f", 4))},
      {"a note of the service's own kind", zv::EncodeNoteMessage(WalkNote::kList, "x")},
      {"a field running past its message", Patched(row, 1, std::string("\x05", 1))},
      {"a flag that is not 0 or 1", Patched(settings, 5, "\x02")},
      {"settings twice", settings + settings},
      {"settings after rows", row + settings},
      {"row 0", zv::EncodeRowMessage(0, Record("A.ICC", "a"))},
      {"row 501", zv::EncodeRowMessage(501, Record("A.ICC", "a"))},
      {"501 rows", all_rows + zv::EncodeRowMessage(1, Record("B.ICC", "b"))},
      {"the same row twice", row + row},
      {"a name of 32 bytes", zv::EncodeRowMessage(1, unterminated)},
      {"the result -3", zv::EncodeEndMessage({-3, 0, 5, false})},
      {"a spool count of 501", zv::EncodeEndMessage({0, 501, 5, false})},
      {"a counter below its start", zv::EncodeEndMessage({0, 0, 4, false})},
      {"101 repetitions that came back whole", zv::EncodeEndMessage({0, 0, 5, false, false, true, 101})},
      {"-1 repetitions that came back whole", zv::EncodeEndMessage({0, 0, 5, false, false, true, -1})},
      {"anything after the end", end + zv::EncodeNoteMessage(WalkNote::kDetail, "late")},
      {"more than the cap in all", many_notes},
  };
  for (const auto& c : cases) {
    int notes = 0;
    WalkReportReader reader(5, [&notes](WalkNote, std::string_view) { ++notes; });
    WalkReport report;
    EXPECT_FALSE(FeedInPieces(reader, c.bytes, 4096, &report)) << c.what;
    EXPECT_FALSE(reader.problem().empty()) << c.what;
    // Nothing more is taken once a message is refused.
    EXPECT_FALSE(reader.Feed(end, &report)) << c.what;
    EXPECT_FALSE(report.end.has_value() && std::string(c.what) != "anything after the end") << c.what;
  }
}

TEST(WalkStateCarryTest, WalksOneAfterTheOtherAndOverlappingKeepEachOthersChanges) {
  zv::WalkToggles shared;
  int32_t count = INT32_MAX - 10;
  // Two walks begin from the same state and overlap.
  const zv::WalkToggles start = shared;
  const int32_t start_count = count;
  zv::CarryToggleChanges(start, {false, false, true}, &shared);  // -Cc
  zv::CarryVariablesFound(start_count, start_count + 4, &count);
  zv::CarryToggleChanges(start, {true, false, true}, &shared);   // -Cc as well (the flips cancel) and -Ci
  zv::CarryVariablesFound(start_count, start_count + 3, &count);
  EXPECT_EQ(shared, (zv::WalkToggles{true, false, false}));
  EXPECT_EQ(count, INT32_MAX - 3);
  // A third walk, after both, starts from their state; its count stops at
  // the top and its toggle flips the shared one back.
  zv::CarryToggleChanges(shared, {false, false, false}, &shared);
  zv::CarryVariablesFound(count, INT32_MAX, &count);
  zv::CarryVariablesFound(count, count - 1, &count);  // a count that fell adds nothing
  EXPECT_EQ(shared, zv::WalkToggles{});
  EXPECT_EQ(count, INT32_MAX);
}

}  // namespace
