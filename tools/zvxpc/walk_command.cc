#include <cstdio>

#include "zvxpc/commands.h"

namespace zvxpc {

int RunWalk(int, char**) {
  std::fputs("zvxpc: 'walk' is not available in this build\n", stderr);
  return 2;
}

}  // namespace zvxpc
