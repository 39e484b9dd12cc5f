// SPDX-License-Identifier: MIT
#include "report/debug_sink.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

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

std::string FormatWhole(const char* format, va_list args) {
  va_list measuring;
  va_copy(measuring, args);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.pop_back();
  return text;
}

void NoteWalkReason(const char* format, ...) {
  if (!WalkNotesWanted()) return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatWhole(format, args);
  va_end(args);
  NoteWalk(WalkNote::kReason, text);
}

namespace {

constexpr std::string_view kParserTag = "[SNMP] ";

// The whole text, kept in `sDEBUGmsg` as far as it fits.
std::string KeepInDebugMessage(std::string text) {
  std::memset(sDEBUGmsg, 0, sizeof sDEBUGmsg);
  text.copy(sDEBUGmsg, sizeof sDEBUGmsg - 1);
  return text;
}

}  // namespace

void FormatDebugMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = KeepInDebugMessage(FormatWhole(format, args));
  va_end(args);
  NoteWalk(WalkNote::kDetail, text);
}

void FormatFailure(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = KeepInDebugMessage(FormatWhole(format, args));
  va_end(args);
  std::string_view reason = text;
  if (reason.substr(0, kParserTag.size()) == kParserTag) reason.remove_prefix(kParserTag.size());
  NoteWalk(WalkNote::kReason, reason);
}

}  // namespace zv
