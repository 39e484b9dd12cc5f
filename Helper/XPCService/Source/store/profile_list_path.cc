// SPDX-License-Identifier: MIT
#include "store/profile_list_path.h"

namespace zv {

bool NameLeavesFolder(std::string_view name) {
  return name.find('/') != std::string_view::npos || name == "." || name == "..";
}

std::string ProfileListPath(std::string_view folder, std::string_view user, std::string_view model,
                            std::string_view suffix) {
  std::string path;
  path.reserve(folder.size() + 1 + user.size() + 1 + model.size() + suffix.size());
  path.append(folder);
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(user).append("-").append(model).append(suffix);
  return path;
}

ProfileListPathStatus ComposeCurrentProfileListPath(std::string_view folder, std::string_view user,
                                                    std::string_view model, std::string* path) {
  if (NameLeavesFolder(user) || NameLeavesFolder(model)) return ProfileListPathStatus::kNameLeavesFolder;
  std::string current = ProfileListPath(folder, user, model, kCurrentProfileSuffix);
  // The spool path is the longest of the three and has the highest limit;
  // both limits must hold.
  const std::size_t spool_bytes = current.size() - kCurrentProfileSuffix.size() + kSpoolProfileSuffix.size();
  const std::size_t previous_bytes = current.size() - kCurrentProfileSuffix.size() + kPreviousProfileSuffix.size();
  if (previous_bytes > kMaxStorePathBytes || spool_bytes > kMaxSpoolPathBytes) return ProfileListPathStatus::kTooLong;
  *path = std::move(current);
  return ProfileListPathStatus::kComposed;
}

}  // namespace zv
