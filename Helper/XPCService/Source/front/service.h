// SPDX-License-Identifier: MIT
// The service object exported on every connection.
#pragma once

#include <memory>

#include "front/list_changes.h"
#include "front/service_protocol.h"

/// Implements the operations: decodes each request text, does the work and
/// replies. One instance per connection, used by its thread alone; its only
/// state is the connection's watch of the profile lists, kept from one
/// watch request to the next so that no change between them is lost.
class ZVmacServiceXPC : public ZV_XPC_Protocol {
 public:
  void zvPListIsAdminProfile_XPC(const Request& request, const Reply& reply) override;
  void zvPListSwapProfile_XPC(const Request& request, const Reply& reply) override;
  void zvPListExistProfile_XPC(const Request& request, const Reply& reply) override;
  void zvPListRemove_XPC(const Request& request, const Reply& reply) override;
  void writeDictionaryToPlistFile_XPC(const Request& request, const Reply& reply) override;
  void writeDataToPlistFile_XPC(const Request& request, const Reply& reply) override;
  void writeDataToPlistFileRename_XPC(const Request& request, const Reply& reply) override;
  void mibwalk_XPC(const Request& request, const Reply& reply) override;
  void mibwalkReason_XPC(const Request& request, const Reply& reply) override;
  void serviceStatus_XPC(const Request& request, const Reply& reply) override;
  void cancelWalk_XPC(const Request& request, const Reply& reply) override;
  void watchProfileLists_XPC(const Request& request, const Reply& reply) override;

 private:
  std::unique_ptr<zv::ListChangeWatch> watch_;
};
