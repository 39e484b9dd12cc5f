// The walk's diagnostics. The service has no console: the walk formats its
// diagnostics into `sDEBUGmsg` or hands them to MyDebugMessage, and neither
// reaches the client, a terminal or the system log.
#pragma once

#include "walk/walk_state.h"

/// The debug sink: takes a message and one integer and discards both.
/// Safe to call with a null text.
void MyDebugMessage(const char* text, int value);

namespace zv {

/// Clears `sDEBUGmsg` and formats `format` into it, cut to its 128 bytes
/// (127 characters and the terminator).
void FormatDebugMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zv
