// SPDX-License-Identifier: MIT
#include "report/walk_globals.h"

ProfileList PlistForSpool = {};
int32_t numprinted = 0;
char sDEBUGmsg[kDebugMessageSize] = {};
zv::WalkClock zv::walk_clock;
