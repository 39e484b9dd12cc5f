// SPDX-License-Identifier: MIT
#include "front/preferences_on_demand.h"

#include "platform/preferences_folder.h"

namespace zv {
namespace {

// Set once at start-up, read by every request afterwards.
std::string& OnDemandDirectory() {
  static std::string directory;
  return directory;
}

}  // namespace

void CreateOnDemand(std::string directory) { OnDemandDirectory() = std::move(directory); }

bool PrepareFolderFor(std::string_view path, std::string* error) {
  const std::string& directory = OnDemandDirectory();
  if (directory.empty() || path.substr(0, directory.size()) != directory) return true;
  return CreatePreferencesDirectory(directory, error);
}

}  // namespace zv
