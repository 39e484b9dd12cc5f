// SPDX-License-Identifier: MIT
#include "walk/debug_sink.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Room for one formatted reason: an unknown host's name may be long.
constexpr std::size_t kReasonSize = 512;

std::atomic<zv::WalkNoteSink> note_sink{nullptr};
std::atomic<zv::WalkLogSink> log_sink{nullptr};

}  // namespace

void MyDebugMessage(const char* text, int value) {
  const zv::WalkNoteSink sink = note_sink.load(std::memory_order_acquire);
  if (sink == nullptr || text == nullptr) return;
  std::string detail(text);
  const std::size_t length = detail.size();
  if (length >= 2 && detail.compare(length - 2, 2, ": ") == 0) detail += std::to_string(value);
  sink(zv::WalkNote::kDetail, detail);
}

namespace zv {

void SetWalkNoteSink(WalkNoteSink sink) { note_sink.store(sink, std::memory_order_release); }

void SetWalkLogSink(WalkLogSink sink) { log_sink.store(sink, std::memory_order_release); }

void LogWalkLine(std::string_view line) {
  const WalkLogSink sink = log_sink.load(std::memory_order_acquire);
  if (sink != nullptr) sink(line);
}

bool WalkNotesWanted() { return note_sink.load(std::memory_order_acquire) != nullptr; }

void NoteWalk(WalkNote note, std::string_view text) {
  const WalkNoteSink sink = note_sink.load(std::memory_order_acquire);
  if (sink != nullptr) sink(note, text);
}

void NoteWalkReason(const char* format, ...) {
  if (!WalkNotesWanted()) return;
  char text[kReasonSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  NoteWalk(WalkNote::kReason, text);
}

namespace {

constexpr std::string_view kParserTag = "[SNMP] ";

__attribute__((format(printf, 1, 0))) void FormatInto(const char* format, va_list args) {
  std::memset(sDEBUGmsg, 0, sizeof sDEBUGmsg);
  std::vsnprintf(sDEBUGmsg, sizeof sDEBUGmsg, format, args);
}

}  // namespace

void FormatDebugMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatInto(format, args);
  va_end(args);
  NoteWalk(WalkNote::kDetail, sDEBUGmsg);
}

void FormatFailure(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatInto(format, args);
  va_end(args);
  std::string_view reason = sDEBUGmsg;
  if (reason.substr(0, kParserTag.size()) == kParserTag) reason.remove_prefix(kParserTag.size());
  NoteWalk(WalkNote::kReason, reason);
}

}  // namespace zv
