// SPDX-License-Identifier: MIT
#include "platform/xpc/socket_path.h"

#include <cstdlib>

namespace zv::xpc {

bool DefaultSocketPath(std::string* path, std::string* error) {
  const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
  if (runtime_dir == nullptr || *runtime_dir == '\0') {
    *error = "XDG_RUNTIME_DIR is not set, so there is no default socket path";
    return false;
  }
  *path = std::string(runtime_dir) + "/" + kSocketFileName;
  return true;
}

}  // namespace zv::xpc
