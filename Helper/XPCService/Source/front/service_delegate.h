// SPDX-License-Identifier: MIT
// The listener's delegate: sets up every new connection.
#pragma once

#include "platform/xpc/listener.h"

/// Accepts every connection that reaches it (the listener has already
/// turned away peers of other users): exports the ZV_XPC_Protocol
/// interface with a new ZVmacServiceXPC on it and resumes the connection.
/// One instance per process.
class ZVmacXPCServiceDelegate : public zv::xpc::ListenerDelegate {
 public:
  /// True when `newConnection` is serving; false when its thread could not
  /// be started, so that the listener closes it at once.
  bool listenerShouldAcceptNewConnection(zv::xpc::Listener& listener,
                                         zv::xpc::Connection& newConnection) override;
};
