// SPDX-License-Identifier: MIT
// The service's protocol: eight operations, each taking one request text
// (or none) and answering with one reply text through its reply callback,
// and four beside them: two that tell a client more (an explained walk,
// and the service's status), the cancel of a walk, and the watch of the
// profile lists.
#pragma once

#include <array>

#include "platform/xpc/interface.h"
#include "zvxpc.h"

/// The exported protocol. Every operation calls `reply` exactly once, on
/// its own thread, before it returns. `request` is nullopt when the client
/// sent no argument object.
class ZV_XPC_Protocol {
 public:
  using Request = zv::xpc::Request;
  using Reply = zv::xpc::Reply;

  virtual ~ZV_XPC_Protocol() = default;

  /// 1. Write-access test on the path that is the whole text: "TRUE"/"FALSE".
  virtual void zvPListIsAdminProfile_XPC(const Request& request, const Reply& reply) = 0;
  /// 2. Swap of two generations: "TYPE:ARG_iSwapType" "CURRENT:ARG_cFooCurrentString"
  ///    "PREVIOUS:ARG_cFooPrevString". Always "TRUE".
  virtual void zvPListSwapProfile_XPC(const Request& request, const Reply& reply) = 0;
  /// 3. Existence (readability) test on the path: "TRUE"/"FALSE".
  virtual void zvPListExistProfile_XPC(const Request& request, const Reply& reply) = 0;
  /// 4. Removal of the path (file or empty directory): "TRUE"/"FALSE".
  virtual void zvPListRemove_XPC(const Request& request, const Reply& reply) = 0;
  /// 5. "URL:AddURL:ENDBODY": the file at URL replaced by BODY: "TRUE"/"FALSE".
  virtual void writeDictionaryToPlistFile_XPC(const Request& request, const Reply& reply) = 0;
  /// 6. "URL:AddURL:ENDBODY": BODY appended to URL's ".dummy" file: "TRUE"/"FALSE".
  virtual void writeDataToPlistFile_XPC(const Request& request, const Reply& reply) = 0;
  /// 7. "URL": URL's ".dummy" file moved over URL's file: "TRUE"/"FALSE".
  virtual void writeDataToPlistFileRename_XPC(const Request& request, const Reply& reply) = 0;
  /// 8. "MODEL:ModelName:ENDUSER:USErName:END" then "ARG:arg:" per walk
  ///    argument: one walk, "iRet=<result>".
  virtual void mibwalk_XPC(const Request& request, const Reply& reply) = 0;
  /// Beside the eight: the walk of mibwalk_XPC, its reply "iRet=<result>"
  /// followed by ":Reason:" and why the walk ended as it did.
  virtual void mibwalkReason_XPC(const Request& request, const Reply& reply) = 0;
  /// Beside the eight: the service's status, one "NAME=VALUE" line each
  /// (zvxpc.h names them). The request text is not read.
  virtual void serviceStatus_XPC(const Request& request, const Reply& reply) = 0;
  /// Beside the eight: MODEL ":ModelName:END" USER ":USErName:END" cancels
  /// the walks of that list (walk_cancel.h): "TRUE" when one ran or waited,
  /// else "FALSE".
  virtual void cancelWalk_XPC(const Request& request, const Reply& reply) = 0;
  /// Beside the eight: the next change of the lists the request names
  /// (list_changes.h), "KIND:PATH", or "" when none came for a while.
  /// "FALSE" for names no list can have.
  virtual void watchProfileLists_XPC(const Request& request, const Reply& reply) = 0;

  /// The operations in the protocol's order, by their names on the wire.
  static constexpr std::array<zv::xpc::Operation<ZV_XPC_Protocol>, 12> kOperations{{
      {ZVXPC_OP_IS_ADMIN, &ZV_XPC_Protocol::zvPListIsAdminProfile_XPC},
      {ZVXPC_OP_SWAP, &ZV_XPC_Protocol::zvPListSwapProfile_XPC},
      {ZVXPC_OP_EXIST, &ZV_XPC_Protocol::zvPListExistProfile_XPC},
      {ZVXPC_OP_REMOVE, &ZV_XPC_Protocol::zvPListRemove_XPC},
      {ZVXPC_OP_WRITE_DICTIONARY, &ZV_XPC_Protocol::writeDictionaryToPlistFile_XPC},
      {ZVXPC_OP_WRITE_DATA, &ZV_XPC_Protocol::writeDataToPlistFile_XPC},
      {ZVXPC_OP_WRITE_DATA_RENAME, &ZV_XPC_Protocol::writeDataToPlistFileRename_XPC},
      {ZVXPC_OP_WALK, &ZV_XPC_Protocol::mibwalk_XPC},
      {ZVXPC_OP_WALK_EXPLAINED, &ZV_XPC_Protocol::mibwalkReason_XPC},
      {ZVXPC_OP_STATUS, &ZV_XPC_Protocol::serviceStatus_XPC},
      {ZVXPC_OP_WALK_CANCEL, &ZV_XPC_Protocol::cancelWalk_XPC},
      {ZVXPC_OP_WATCH, &ZV_XPC_Protocol::watchProfileLists_XPC},
  }};
};
