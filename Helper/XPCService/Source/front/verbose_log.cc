// SPDX-License-Identifier: MIT
#include "front/verbose_log.h"

#include <syslog.h>

#include <atomic>
#include <mutex>

#include "front/system_log.h"
#include "report/debug_sink.h"

namespace zv {
namespace {

constexpr std::string_view kParserPrefix = "[SNMP] ";

std::atomic<bool> verbose{false};

struct NoteStore {
  std::mutex mutex;
  WalkNotes notes;
};

NoteStore& Notes() {
  // Each walk request runs on its connection's thread, and walks run side by
  // side: every thread collects the notes of its own walk.
  thread_local NoteStore store;
  return store;
}

void CollectNote(WalkNote note, std::string_view text) {
  NoteStore& store = Notes();
  std::lock_guard<std::mutex> lock(store.mutex);
  switch (note) {
    case WalkNote::kDevice: store.notes.device.assign(text); break;
    case WalkNote::kReason: store.notes.reasons.emplace_back(text); break;
    case WalkNote::kList: store.notes.list_problem.assign(text); break;
    case WalkNote::kDetail: store.notes.last_detail.assign(text); break;
    case WalkNote::kCount: store.notes.count.assign(text); break;
  }
}

// A diagnostic of the walk as a person reads it: without the parser's tag
// and the trailing line feed.
std::string PlainDetail(std::string_view detail) {
  if (detail.substr(0, kParserPrefix.size()) == kParserPrefix) detail.remove_prefix(kParserPrefix.size());
  while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) detail.remove_suffix(1);
  return std::string(detail);
}

std::string WithDetail(std::string text, std::string_view detail) {
  const std::string plain = PlainDetail(detail);
  if (!plain.empty()) text += ": " + plain;
  return text;
}

std::string Joined(const std::vector<std::string>& reasons) {
  std::string text;
  for (const std::string& reason : reasons) {
    if (!text.empty()) text += "; ";
    text += reason;
  }
  return text;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

void CollectWalkNotes() { SetWalkNoteSink(CollectNote); }

void EnableVerboseLog() { verbose.store(true); }

bool VerboseLogOn() { return verbose.load(); }

void BeginWalkNotes() {
  NoteStore& store = Notes();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.notes = WalkNotes();
}

WalkNotes TakeWalkNotes() {
  NoteStore& store = Notes();
  std::lock_guard<std::mutex> lock(store.mutex);
  return std::move(store.notes);
}

namespace {

// What the result says by itself, when the walk gave no reason of its own.
std::string ResultText(int result, const WalkNotes& notes) {
  switch (result) {
    case 0: return notes.found.empty() ? "the walk completed" : notes.found;
    case -1: {
      const std::string complaint = PlainDetail(notes.last_detail);
      return complaint.empty() ? "a usage error in the walk arguments" : complaint;
    }
    case -2: return WithDetail("nothing to walk (-H)", notes.last_detail);
    default: return WithDetail("the walk failed", notes.last_detail);
  }
}

}  // namespace

std::string WalkReasonText(int result, const WalkNotes& notes) {
  // A walk that completed says what it found first, then anything it met
  // on the way (a fallback to GETNEXT); a failed one says why it failed.
  std::string text;
  if (result == 0) {
    text = ResultText(result, notes);
    if (!notes.reasons.empty()) text += "; " + Joined(notes.reasons);
  } else {
    text = notes.reasons.empty() ? ResultText(result, notes) : Joined(notes.reasons);
  }
  if (!notes.count.empty()) text += "; variables found: " + notes.count;
  if (!notes.list_problem.empty()) text += "; " + notes.list_problem;
  return text;
}

void LogWalkEntry(const WalkEntry& entry) {
  const std::string result = std::to_string(entry.result);
  std::string message("xpc - mibwalk_XPC - user ");
  message.append(Quoted(entry.user)).append(" model ").append(Quoted(entry.model));
  message.append(" device ").append(Quoted(entry.device)).append(" iRet=").append(result);
  message.append(": ").append(entry.reason);
  LogDiagnosticEntry(entry.failed ? LOG_WARNING : LOG_DEBUG, message,
                     {{"ZVXPC_OPERATION", "mibwalk_XPC:reply:"},
                      {"ZVXPC_USER", entry.user},
                      {"ZVXPC_MODEL", entry.model},
                      {"ZVXPC_DEVICE", entry.device},
                      {"ZVXPC_RESULT", result},
                      {"ZVXPC_REASON", entry.reason}});
}

void LogFileOperationFailure(std::string_view operation, std::string_view path, std::string_view reason) {
  std::string message("xpc - ");
  message.append(operation).append(" - FALSE for ").append(Quoted(path)).append(": ").append(reason);
  LogDiagnosticEntry(LOG_WARNING, message,
                     {{"ZVXPC_OPERATION", operation},
                      {"ZVXPC_PATH", path},
                      {"ZVXPC_RESULT", "FALSE"},
                      {"ZVXPC_REASON", reason}});
}

}  // namespace zv
