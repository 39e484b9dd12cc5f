// SPDX-License-Identifier: MIT
#include "front/service.h"

#include "front/file_operations.h"
#include "front/preferences_on_demand.h"
#include "front/request_decoding.h"
#include "front/verbose_log.h"
#include "front/walk_request.h"
#include "platform/file_url.h"

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

// Creates the default preferences folder when `path` lies in it and it is
// missing; a failure is only told (the operation then fails by itself).
void PrepareFolderForPath(std::string_view path, Outcome* outcome) {
  std::string error;
  if (!zv::PrepareFolderFor(path, &error) && outcome->wanted() != nullptr) outcome->reason = error + "; ";
}

void PrepareFolderForUrl(std::string_view url, Outcome* outcome) {
  std::string path, ignored;
  if (zv::FileUrlToPath(url, &path, &ignored)) PrepareFolderForPath(path, outcome);
}

// Appends what `operation` says to a reason the folder may have begun.
bool Run(Outcome* outcome, bool (*operation)(std::string_view, std::string_view, std::string*),
         const zv::UrlAndBody& fields) {
  std::string reason;
  const bool done = operation(fields.url, fields.body, outcome->wanted() != nullptr ? &reason : nullptr);
  outcome->reason += reason;
  return done;
}

}  // namespace

void ZVmacServiceXPC::zvPListIsAdminProfile_XPC(const Request& request, const Reply& reply) {
  const std::optional<std::string> path = zv::DecodePathRequest(request);
  Outcome outcome{kOperations[0].name, PathText(path), {}};
  if (path) PrepareFolderForPath(*path, &outcome);
  std::string reason;
  const bool writable = zv::TestPathWriteAccess(path, outcome.wanted() != nullptr ? &reason : nullptr);
  outcome.reason += reason;
  ReplyOutcome(reply, writable, outcome);
}

void ZVmacServiceXPC::zvPListSwapProfile_XPC(const Request& request, const Reply& reply) {
  zv::SwapPathGenerations(zv::DecodeSwapRequest(request));
  ReplyWord(reply, true);
}

void ZVmacServiceXPC::zvPListExistProfile_XPC(const Request& request, const Reply& reply) {
  const std::optional<std::string> path = zv::DecodePathRequest(request);
  Outcome outcome{kOperations[2].name, PathText(path), {}};
  ReplyOutcome(reply, zv::PathIsReadable(path, outcome.wanted()), outcome);
}

void ZVmacServiceXPC::zvPListRemove_XPC(const Request& request, const Reply& reply) {
  const std::optional<std::string> path = zv::DecodePathRequest(request);
  Outcome outcome{kOperations[3].name, PathText(path), {}};
  ReplyOutcome(reply, zv::RemovePath(path, outcome.wanted()), outcome);
}

void ZVmacServiceXPC::writeDictionaryToPlistFile_XPC(const Request& request, const Reply& reply) {
  zv::UrlAndBody fields;
  const bool split = zv::SplitUrlAndBody(request, &fields);
  Outcome outcome{kOperations[4].name, fields.url, split ? "" : std::string(kNoUrl)};
  if (split) PrepareFolderForUrl(fields.url, &outcome);
  ReplyOutcome(reply, split && Run(&outcome, zv::WriteBodyToUrl, fields), outcome);
}

void ZVmacServiceXPC::writeDataToPlistFile_XPC(const Request& request, const Reply& reply) {
  zv::UrlAndBody fields;
  const bool split = zv::SplitUrlAndBody(request, &fields);
  Outcome outcome{kOperations[5].name, fields.url, split ? "" : std::string(kNoUrl)};
  if (split) PrepareFolderForUrl(fields.url, &outcome);
  ReplyOutcome(reply, split && Run(&outcome, zv::AppendBodyToTemporary, fields), outcome);
}

void ZVmacServiceXPC::writeDataToPlistFileRename_XPC(const Request& request, const Reply& reply) {
  Outcome outcome{kOperations[6].name, PathText(request), request ? "" : std::string(kNoUrl)};
  ReplyOutcome(reply, request && zv::MoveTemporaryIntoPlace(*request, outcome.wanted()), outcome);
}

void ZVmacServiceXPC::mibwalk_XPC(const Request& request, const Reply& reply) {
  zv::RunWalkRequest(request, reply);
}
