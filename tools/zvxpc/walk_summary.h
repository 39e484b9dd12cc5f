// SPDX-License-Identifier: MIT
// What a walk did to the menus of one profile list, from the list read
// before the walk and after it: for each class the profiles that entered
// the menu, those that left it, and how many are in it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/zvplist.h"

namespace zvxpc {

/// The three class lists of one profile list (on the heap: 126 KB).
struct ListSnapshot {
  ProfileList classes[3];
};

/// True when the dialog's menu shows `entry`: the last walk reported it
/// (InMenu 2, or 4 for a kept entry) or a client put it there (5). The
/// other states keep an entry listed but out of the menu: 1 and 3 until a
/// walk reports it again, 6 for a kept entry a walk missed.
bool ShownInMenu(const ProfileRecord& entry);

/// A snapshot with every slot empty: the lists before a first walk.
std::unique_ptr<ListSnapshot> EmptySnapshot();

/// Reads the profile list at `path` with libzvplist. Null with the
/// library's one-line reason in `*error` when it cannot be read.
std::unique_ptr<ListSnapshot> ReadSnapshot(const char* path, std::string* error);

/// One line per class, in the order RGB, SIM, DST:
///   "RGB: 2 in the menu (entered: A.ICC, B.ICC; left: C.ICC)"
/// A profile is in the menu while ShownInMenu says so and is named by its
/// file name; the parenthesis is left out when nothing moved.
std::vector<std::string> SummaryLines(const ListSnapshot& before, const ListSnapshot& after);

/// True when no entry of `after` was reported by the last walk (InMenu 2
/// or 4): after a walk that ended 0, the device gave no usable row of the
/// profile table.
bool NoEntryReported(const ListSnapshot& after);

}  // namespace zvxpc
