// SPDX-License-Identifier: MIT
#include "front/service.h"

#include "front/file_operations.h"
#include "front/list_changes.h"
#include "front/request_decoding.h"
#include "front/service_status.h"
#include "front/verbose_log.h"
#include "front/walk_cancel.h"
#include "front/walk_request.h"
#include "platform/file_url.h"
#include "zvxpc.h"

namespace {

constexpr std::string_view kNoUrl = "the request carried no file URL";

void ReplyWord(const ZV_XPC_Protocol::Reply& reply, bool outcome) {
  reply(outcome ? zv::kReplyTrue : zv::kReplyFalse);
}

// What one file operation leaves for the verbose log when it answers FALSE.
// Reasons are only gathered while that log is on.
struct Outcome {
  std::string_view operation;
  std::string_view path;
  std::string reason;

  std::string* wanted() { return zv::VerboseLogOn() ? &reason : nullptr; }
};

void ReplyOutcome(const ZV_XPC_Protocol::Reply& reply, bool outcome, const Outcome& details) {
  ReplyWord(reply, outcome);
  if (!outcome && zv::VerboseLogOn()) zv::LogFileOperationFailure(details.operation, details.path, details.reason);
}

std::string_view PathText(const std::optional<std::string>& path) { return path ? *path : std::string_view(); }

// Tells watchers that a file operation changed the file at `url` (a URL
// the operation accepted, so it converts).
void NoteUrlChanged(zv::ListChange change, std::string_view url) {
  std::string path, ignored;
  if (zv::FileUrlToPath(url, &path, &ignored)) zv::NoteListChanged(change, path);
}

}  // namespace

void ZVmacServiceXPC::zvPListIsAdminProfile_XPC(const Request& request, const Reply& reply) {
  const std::optional<std::string> path = zv::DecodePathRequest(request);
  Outcome outcome{ZVXPC_OP_IS_ADMIN, PathText(path), {}};
  ReplyOutcome(reply, zv::TestPathWriteAccess(path, outcome.wanted()), outcome);
}

void ZVmacServiceXPC::zvPListSwapProfile_XPC(const Request& request, const Reply& reply) {
  const zv::SwapFields fields = zv::DecodeSwapRequest(request);
  zv::SwapPathGenerations(fields);
  ReplyWord(reply, true);
  for (const auto& path : {fields.current, fields.previous}) {
    if (path) zv::NoteListChanged(zv::ListChange::kSwap, *path);
  }
}

void ZVmacServiceXPC::zvPListExistProfile_XPC(const Request& request, const Reply& reply) {
  const std::optional<std::string> path = zv::DecodePathRequest(request);
  Outcome outcome{ZVXPC_OP_EXIST, PathText(path), {}};
  ReplyOutcome(reply, zv::PathIsReadable(path, outcome.wanted()), outcome);
}

void ZVmacServiceXPC::zvPListRemove_XPC(const Request& request, const Reply& reply) {
  const std::optional<std::string> path = zv::DecodePathRequest(request);
  Outcome outcome{ZVXPC_OP_REMOVE, PathText(path), {}};
  const bool removed = zv::RemovePath(path, outcome.wanted());
  ReplyOutcome(reply, removed, outcome);
  if (removed) zv::NoteListChanged(zv::ListChange::kRemove, *path);
}

void ZVmacServiceXPC::writeDictionaryToPlistFile_XPC(const Request& request, const Reply& reply) {
  zv::UrlAndBody fields;
  const bool split = zv::SplitUrlAndBody(request, &fields);
  Outcome outcome{ZVXPC_OP_WRITE_DICTIONARY, fields.url, split ? "" : std::string(kNoUrl)};
  const bool written = split && zv::WriteBodyToUrl(fields.url, fields.body, outcome.wanted());
  ReplyOutcome(reply, written, outcome);
  if (written) NoteUrlChanged(zv::ListChange::kWrite, fields.url);
}

void ZVmacServiceXPC::writeDataToPlistFile_XPC(const Request& request, const Reply& reply) {
  zv::UrlAndBody fields;
  const bool split = zv::SplitUrlAndBody(request, &fields);
  Outcome outcome{ZVXPC_OP_WRITE_DATA, fields.url, split ? "" : std::string(kNoUrl)};
  ReplyOutcome(reply, split && zv::AppendBodyToTemporary(fields.url, fields.body, outcome.wanted()), outcome);
}

void ZVmacServiceXPC::writeDataToPlistFileRename_XPC(const Request& request, const Reply& reply) {
  Outcome outcome{ZVXPC_OP_WRITE_DATA_RENAME, PathText(request), request ? "" : std::string(kNoUrl)};
  const bool moved = request && zv::MoveTemporaryIntoPlace(*request, outcome.wanted());
  ReplyOutcome(reply, moved, outcome);
  if (moved) NoteUrlChanged(zv::ListChange::kRename, *request);
}

void ZVmacServiceXPC::mibwalk_XPC(const Request& request, const Reply& reply) {
  zv::RunWalkRequest(request, reply);
}

void ZVmacServiceXPC::mibwalkReason_XPC(const Request& request, const Reply& reply) {
  zv::RunExplainedWalkRequest(request, reply);
}

void ZVmacServiceXPC::serviceStatus_XPC(const Request& /*request*/, const Reply& reply) {
  reply(zv::ServiceStatusText());
}

void ZVmacServiceXPC::cancelWalk_XPC(const Request& request, const Reply& reply) {
  ReplyWord(reply, zv::CancelWalkRequest(request));
}

void ZVmacServiceXPC::watchProfileLists_XPC(const Request& request, const Reply& reply) {
  const std::optional<std::vector<std::string>> paths = zv::WatchedPaths(request);
  if (!paths) {
    ReplyWord(reply, false);
    return;
  }
  // A watch of other files starts afresh; the same files keep what came
  // since the last reply.
  if (!watch_ || !watch_->Watches(*paths)) watch_ = std::make_unique<zv::ListChangeWatch>(*paths);
  reply(watch_->Next(zv::kWatchRenewMs));
}
