// SPDX-License-Identifier: MIT
// The walk's notes keep their whole text: a reason longer than the walk's
// 128-byte diagnostic buffer reaches the note sink uncut.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "report/debug_sink.h"

namespace {

std::vector<std::pair<zv::WalkNote, std::string>> g_notes;

void Collect(zv::WalkNote note, std::string_view text) { g_notes.emplace_back(note, text); }

TEST(WalkNotesTest, LongTextsReachTheSinkWholeAndTheBufferKeepsWhatFits) {
  const std::string long_text = "1.3.6.1.4.1." + std::string(300, '7');
  zv::SetWalkNoteSink(Collect);
  zv::FormatFailure("[SNMP] Error: %s", long_text.c_str());
  zv::NoteWalkReason("why: %s", long_text.c_str());
  zv::FormatDebugMessage("detail %s", long_text.c_str());
  zv::SetWalkNoteSink(nullptr);
  EXPECT_EQ(g_notes, (std::vector<std::pair<zv::WalkNote, std::string>>{
                         {zv::WalkNote::kReason, "Error: " + long_text},
                         {zv::WalkNote::kReason, "why: " + long_text},
                         {zv::WalkNote::kDetail, "detail " + long_text}}));
  EXPECT_EQ(std::string(sDEBUGmsg), ("detail " + long_text).substr(0, kDebugMessageSize - 1));
}

}  // namespace
