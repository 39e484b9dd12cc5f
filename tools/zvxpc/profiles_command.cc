#include <cstdio>

#include "zvxpc/commands.h"

namespace zvxpc {

int RunProfiles(int, char**) {
  std::fputs("zvxpc: 'profiles' is not available in this build\n", stderr);
  return 2;
}

}  // namespace zvxpc
