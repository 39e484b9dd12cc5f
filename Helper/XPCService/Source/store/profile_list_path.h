// SPDX-License-Identifier: MIT
// The names of one user's and one printer model's profile lists in a
// preferences folder, user first and model second:
//   <folder>USER-MODEL-profile.plist        (current)
//   <folder>USER-MODEL-profile.prev.plist   (previous)
//   <folder>USER-MODEL-profile.spool.plist  (spool)
// The walk request composes its three paths by this rule, and the client
// library hands the current path to the dialog by the same rule.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zv {

inline constexpr std::string_view kCurrentProfileSuffix = "-profile.plist";
inline constexpr std::string_view kPreviousProfileSuffix = "-profile.prev.plist";
inline constexpr std::string_view kSpoolProfileSuffix = "-profile.spool.plist";

/// Longest composed profile list path: the walk keeps its paths in
/// 256-byte buffers, and the store copies the current and previous ones
/// into 255-byte buffers (at most 254 bytes of path).
inline constexpr std::size_t kMaxSpoolPathBytes = 255;
inline constexpr std::size_t kMaxStorePathBytes = 254;

/// True when a user or model name, put into a file name, would reach
/// another folder (a '/'), or make a name a person would take for one
/// ("." and "..").
bool NameLeavesFolder(std::string_view name);

/// `folder` USER "-" MODEL `suffix`, with a slash put after `folder` when
/// it has none. No check.
std::string ProfileListPath(std::string_view folder, std::string_view user, std::string_view model,
                            std::string_view suffix);

/// Outcome of ComposeCurrentProfileListPath.
enum class ProfileListPathStatus {
  kComposed,          // the path is in *path
  kNameLeavesFolder,  // NameLeavesFolder holds for the user or the model
  kTooLong,           // one of the three paths would pass its limit
};

/// The current profile list path of `user` and `model` in `folder`, for
/// the names that a walk request accepts: refused when a name leaves the
/// folder or when any of the three paths would be longer than its limit
/// (the walk then refuses the request and never writes that list).
ProfileListPathStatus ComposeCurrentProfileListPath(std::string_view folder, std::string_view user,
                                                    std::string_view model, std::string* path);

}  // namespace zv
