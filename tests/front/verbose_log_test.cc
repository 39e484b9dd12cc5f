// SPDX-License-Identifier: MIT
// The reason a verbose walk entry gives, from the walk's result and notes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "front/verbose_log.h"

namespace {

zv::WalkNotes Notes(std::vector<std::string> reasons, std::string list_problem = "", std::string last_detail = "",
                    std::string count = "", std::string found = "") {
  zv::WalkNotes notes;
  notes.reasons = std::move(reasons);
  notes.list_problem = std::move(list_problem);
  notes.last_detail = std::move(last_detail);
  notes.count = std::move(count);
  notes.found = std::move(found);
  return notes;
}

TEST(WalkReasonTextTest, ReasonsComeFromTheNotesElseFromTheResult) {
  const std::string list = "the profile list '/p/u-m-profile.plist' could not be written: open: Is a directory";
  const struct {
    int result;
    zv::WalkNotes notes;
    std::string expected;
  } cases[] = {
      {0, {}, "the walk completed"},
      {0, Notes({}, "", "", "", "12 rows, 3 classes"), "12 rows, 3 classes"},
      {0, Notes({"the walk went on by GETNEXT"}, list, "", "", "2 rows, 1 class"),
       "2 rows, 1 class; the walk went on by GETNEXT; " + list},
      {1, Notes({"unknown host h", "second"}, list), "unknown host h; second; " + list},
      // -Cp: the count goes beside the failure, never in its place.
      {1, Notes({"Error: OID not increasing: a >= b"}, "", "[UTIL-MIB] Variables found: 42", "42"),
       "Error: OID not increasing: a >= b; variables found: 42"},
      {1, Notes({}, "", "[SNMP] Error: x"), "the walk failed: Error: x"},
      {1, {}, "the walk failed"},
      {-1, Notes({}, "", "[SNMP] Invalid version specified after -v flag: 2\n"),
       "Invalid version specified after -v flag: 2"},
      {-1, Notes({}, list), "a usage error in the walk arguments; " + list},
      {-2, {}, "nothing to walk (-H)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zv::WalkReasonText(c.result, c.notes), c.expected) << "result " << c.result;
  }
}

}  // namespace
