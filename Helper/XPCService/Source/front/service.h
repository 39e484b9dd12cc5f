// SPDX-License-Identifier: MIT
// The service object exported on every connection.
#pragma once

#include "front/service_protocol.h"

/// Implements the operations: decodes each request text, does the work and
/// replies. Holds no state; one instance per connection.
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
};
