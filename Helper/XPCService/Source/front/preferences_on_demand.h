// SPDX-License-Identifier: MIT
// The default preferences folder, created when first needed: a fresh
// account has no ~/.config/zvxpc/, and the first walk or file write into
// it should not fail for that.
#pragma once

#include <string>
#include <string_view>

namespace zv {

/// Makes PrepareFolderFor create `directory` (absolute, ending in a slash)
/// when a path inside it needs it. Call at start-up, before any request is
/// served; an empty `directory` turns this off.
void CreateOnDemand(std::string directory);

/// When `path` lies in the folder given to CreateOnDemand and that folder
/// is missing, creates it (mode 0700, with missing parents). True when
/// nothing was needed or the folder now exists; false with a message naming
/// the failing call and the errno text otherwise.
bool PrepareFolderFor(std::string_view path, std::string* error);

}  // namespace zv
