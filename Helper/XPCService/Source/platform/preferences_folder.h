// SPDX-License-Identifier: MIT
// Where the profile property lists live when nobody says otherwise.
#pragma once

#include <string>

namespace zv {

/// The default folder of the profile property lists, ending in a slash.
/// A build that fixed a folder (CMake option ZV_PREFERENCES_DIR) gets that
/// folder. Otherwise: "$XDG_CONFIG_HOME/zvxpc/" when XDG_CONFIG_HOME is an
/// absolute path, else "$HOME/.config/zvxpc/"; with neither variable usable
/// (no HOME, or a relative one) the folder of the user's home directory from
/// the password database, and "/" as the last resort. Reads the environment
/// on every call; creates nothing.
std::string DefaultPreferencesDirectory();

}  // namespace zv
