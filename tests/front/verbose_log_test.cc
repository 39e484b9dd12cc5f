// SPDX-License-Identifier: MIT
// The reason a verbose walk entry gives, from the walk's result and notes.
#include <gtest/gtest.h>

#include <string>

#include "front/verbose_log.h"

namespace {

TEST(WalkReasonTextTest, ReasonsComeFromTheNotesElseFromTheResult) {
  const std::string list = "the profile list '/p/u-m-profile.plist' could not be written: open: Is a directory";
  const struct {
    int result;
    zv::WalkNotes notes;
    std::string expected;
  } cases[] = {
      {0, {}, "the walk completed"},
      {0, {"h", {}, list, "[UTIL-MIB] Variables found: 3"}, "the walk completed; " + list},
      {1, {"h", {"the device did not answer within 1 s (3 retries)"}, "", ""},
       "the device did not answer within 1 s (3 retries)"},
      {1, {"h", {"unknown host 'h'", "second"}, list, ""}, "unknown host 'h'; second; " + list},
      {1, {"h", {}, "", "[SNMP] Error: walk stopped after 5 requests"},
       "the walk failed: Error: walk stopped after 5 requests"},
      {1, {"h", {}, "", ""}, "the walk failed"},
      {-1, {"", {}, "", "[SNMP] No community name specified.\n"},
       "refused option or usage error: No community name specified."},
      {-1, {"", {}, list, ""}, "refused option or usage error; " + list},
      {-2, {"", {}, "", ""}, "nothing to walk (-H)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zv::WalkReasonText(c.result, c.notes), c.expected) << "result " << c.result;
  }
}

}  // namespace
