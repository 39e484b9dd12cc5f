#include <cstdio>

#include "zvxpc/commands.h"

namespace zvxpc {

int RunCall(int, char**) {
  std::fputs("zvxpc: 'call' is not available in this build\n", stderr);
  return 2;
}

}  // namespace zvxpc
