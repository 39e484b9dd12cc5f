// SPDX-License-Identifier: MIT
#include "front/service_delegate.h"

#include <memory>

#include "front/service.h"
#include "front/service_protocol.h"

bool ZVmacXPCServiceDelegate::listenerShouldAcceptNewConnection(zv::xpc::Listener&,
                                                                 zv::xpc::Connection& newConnection) {
  auto exportedObject = std::make_shared<ZVmacServiceXPC>();
  newConnection.SetExportedObject<ZV_XPC_Protocol>(exportedObject);
  // A connection whose thread could not start would never answer: refused,
  // the listener closes it, and the client sees the end at once instead of
  // waiting for its timeout.
  return newConnection.Resume();
}
