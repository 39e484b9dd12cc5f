// SPDX-License-Identifier: MIT
// Where the service's socket lives when nobody says otherwise.
#pragma once

#include <string>

namespace zv::xpc {

/// File name of the service's socket in the user's runtime directory.
constexpr const char* kSocketFileName = "zvxpcd.sock";

/// The default socket path, "$XDG_RUNTIME_DIR/zvxpcd.sock". False with a
/// message when XDG_RUNTIME_DIR is unset or empty.
bool DefaultSocketPath(std::string* path, std::string* error);

}  // namespace zv::xpc
