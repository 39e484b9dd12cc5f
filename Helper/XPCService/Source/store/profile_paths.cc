// SPDX-License-Identifier: MIT
// The process-wide paths of the current, previous and spool profile
// property list. Null until a walk request points them at its buffers.
#include "store/zvplist.h"

extern "C" {
char* ZV_PLIST_PROFILE_PATH = nullptr;
char* ZV_PLIST_PROFILE_PREV_PATH = nullptr;
char* ZV_PLIST_PROFILE_SPOOL_PATH = nullptr;
}
