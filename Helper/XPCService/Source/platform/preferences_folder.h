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

/// Permission bits of a preferences folder (and of its missing parents)
/// when the service creates it: the lists are the user's own.
constexpr unsigned kPreferencesDirectoryMode = 0700;

/// Creates the folder `directory` (an absolute path) with mode
/// kPreferencesDirectoryMode, and every missing parent with the same mode;
/// folders that exist are left as they are. True when the folder exists
/// afterwards; false with a message naming the failing call, the path and
/// the errno text otherwise (also when something that is not a folder is
/// in the way). Safe when another process creates the same folders.
bool CreatePreferencesDirectory(const std::string& directory, std::string* error);

}  // namespace zv
