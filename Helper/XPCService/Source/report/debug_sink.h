// SPDX-License-Identifier: MIT
// The walk's diagnostics. The service has no console: the walk formats its
// diagnostics into `sDEBUGmsg` or hands them to MyDebugMessage, and neither
// reaches the client, a terminal or the system log by itself.
//
// A process that wants to know why a walk ended as it did installs a note
// sink: the walk then hands it the device's address, the reasons it ended
// (a timeout, an unknown host, an error status, a list not written, ...)
// and every other diagnostic as a detail. Without a sink nothing is
// formatted beyond what the walk keeps in `sDEBUGmsg`.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "report/walk_globals.h"

/// The debug sink: hands `text` to the note sink as a detail, followed by
/// `value` when `text` ends in ": ". Discards both when no note sink is
/// installed. Safe to call with a null text.
void MyDebugMessage(const char* text, int value);

namespace zv {

/// What a walk note tells.
enum class WalkNote {
  kDevice,  // the device's address as the walk was asked to reach it
  kReason,  // why the walk ended as it did, in the user's words
  kList,    // why the walk's profile list could not be written (the service's own)
  kDetail,  // any other diagnostic of the walk
  kCount,   // the variables-found counter, when -Cp asks for it (decimal)
};

/// Receives the notes of the walk running in the process (walks never
/// overlap, so the notes of one walk arrive one after another).
using WalkNoteSink = void (*)(WalkNote note, std::string_view text);

/// Installs `sink` (null: none) for the walks that start afterwards.
void SetWalkNoteSink(WalkNoteSink sink);

/// True when a note sink is installed: callers skip formatting otherwise.
bool WalkNotesWanted();

/// Hands `text` to the note sink, if any.
void NoteWalk(WalkNote note, std::string_view text);

/// Receives the lines a walk logs whatever the verbose setting: what the
/// user must learn of, such as a profile list kept aside because it could
/// not be read.
using WalkLogSink = void (*)(std::string_view line);

/// Installs `sink` (null: none, and such lines are dropped) for the walks
/// that start afterwards.
void SetWalkLogSink(WalkLogSink sink);

/// Hands `line` to the log sink, if any.
void LogWalkLine(std::string_view line);

/// `format` with `args`, whole, however long (printf's rules).
std::string FormatWhole(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

/// Formats a reason, whole, and hands it to the note sink; formats nothing
/// when none is installed.
void NoteWalkReason(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// As FormatDebugMessage, and the whole text (without its "[SNMP] " tag)
/// goes to the note sink as the reason the walk failed rather than as a
/// detail.
void FormatFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Formats `format` and hands the whole text to the note sink as a
/// detail; `sDEBUGmsg` keeps as much of it as fits its 128 bytes (127
/// characters and the terminator).
void FormatDebugMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zv
