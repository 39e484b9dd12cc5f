// SPDX-License-Identifier: MIT
#include "walk/walk_state.h"

ProfileList PlistForSpool = {};
int32_t numprinted = 0;
char sDEBUGmsg[kDebugMessageSize] = {};
zv::WalkClock zv::walk_clock;
