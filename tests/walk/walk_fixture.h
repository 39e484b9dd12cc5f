// SPDX-License-Identifier: MIT
// Helpers shared by the walk's tests: profile records and lists, running a
// walk on a writable argument vector, the current profile plist of a test.
#pragma once

#include <string>
#include <vector>

#include "list_update/merge.h"
#include "store/zvplist.h"

namespace zvtest {

/// A record with the fields the merge looks at; the profile name is
/// derived from the file name.
ProfileRecord Profile(const std::string& file_name, int location, int in_menu, int index_on_device = 1,
                      int profile_class = 1);

/// Puts `record` in `slot` of `list` (the count is left to the caller).
void Put(ProfileList& list, int slot, const ProfileRecord& record);

/// The slots of `list` whose `FileName` is `file_name`.
std::vector<int> SlotsNamed(const ProfileList& list, const std::string& file_name);

/// Number of slots whose `InMenu` is not 0.
int UsedSlots(const ProfileList& list);

/// Runs a walk as it ships: mib_walk on `argv`, then the report its
/// process sends, read by the service's reader, then the service's update
/// of the current plist (ZV_PLIST_PROFILE_PATH; none when null). An
/// abandoned walk reports and merges nothing. Returns the walk's result.
int WalkVector(int argc, char** argv);

/// WalkVector on a fresh writable copy of `arguments`, with a program-name
/// slot in front.
int Walk(const std::vector<std::string>& arguments);

/// Points ZV_PLIST_PROFILE_PATH at `path` for the life of the object and
/// back to null afterwards.
class CurrentPlist {
 public:
  explicit CurrentPlist(const std::string& path);
  ~CurrentPlist();
  CurrentPlist(const CurrentPlist&) = delete;
  CurrentPlist& operator=(const CurrentPlist&) = delete;

  /// Writes `lists` as the current plist; false when the store refused.
  bool Write(const zv::ProfileLists& lists);
  /// Reads the current plist; false when the store failed.
  bool Read(zv::ProfileLists& lists);

  /// Seeds the plist with one RGB entry "SEED.ICC" in state 2 and tells
  /// afterwards what walk result the merge was given: 0 when the entry was
  /// aged to 1, non-zero (returned as 1) when it was emptied, -1 when the
  /// plist cannot be read or the entry is in another state.
  bool SeedMergeProbe();
  int MergeToldResult();

 private:
  std::vector<char> path_;
};

/// Turns every walk setting off (they persist across walks).
void ResetWalkSettings();

/// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);

/// An snmprec of three index cells whose error variation answers a GET or
/// GETNEXT that reaches row 2 with the OID asked for: an OID that does not
/// increase.
std::string RepeatingSnmprec();

}  // namespace zvtest
