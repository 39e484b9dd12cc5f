#include "front/service.h"

#include "front/file_operations.h"
#include "front/request_decoding.h"
#include "front/walk_request.h"

namespace {

void ReplyWord(const ZV_XPC_Protocol::Reply& reply, bool outcome) {
  reply(outcome ? zv::kReplyTrue : zv::kReplyFalse);
}

}  // namespace

void ZVmacServiceXPC::zvPListIsAdminProfile_XPC(const Request& request, const Reply& reply) {
  ReplyWord(reply, zv::TestPathWriteAccess(zv::DecodePathRequest(request)));
}

void ZVmacServiceXPC::zvPListSwapProfile_XPC(const Request& request, const Reply& reply) {
  zv::SwapPathGenerations(zv::DecodeSwapRequest(request));
  ReplyWord(reply, true);
}

void ZVmacServiceXPC::zvPListExistProfile_XPC(const Request& request, const Reply& reply) {
  ReplyWord(reply, zv::PathIsReadable(zv::DecodePathRequest(request)));
}

void ZVmacServiceXPC::zvPListRemove_XPC(const Request& request, const Reply& reply) {
  ReplyWord(reply, zv::RemovePath(zv::DecodePathRequest(request)));
}

void ZVmacServiceXPC::writeDictionaryToPlistFile_XPC(const Request& request, const Reply& reply) {
  zv::UrlAndBody fields;
  ReplyWord(reply, zv::SplitUrlAndBody(request, &fields) && zv::WriteBodyToUrl(fields.url, fields.body));
}

void ZVmacServiceXPC::writeDataToPlistFile_XPC(const Request& request, const Reply& reply) {
  zv::UrlAndBody fields;
  ReplyWord(reply,
            zv::SplitUrlAndBody(request, &fields) && zv::AppendBodyToTemporary(fields.url, fields.body));
}

void ZVmacServiceXPC::writeDataToPlistFileRename_XPC(const Request& request, const Reply& reply) {
  ReplyWord(reply, request && zv::MoveTemporaryIntoPlace(*request));
}

void ZVmacServiceXPC::mibwalk_XPC(const Request& request, const Reply& reply) {
  zv::RunWalkRequest(request, reply);
}
