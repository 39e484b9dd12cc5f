// SPDX-License-Identifier: MIT
#include "front/service_delegate.h"

#include <memory>

#include "front/service.h"
#include "front/service_protocol.h"

bool ZVmacXPCServiceDelegate::listenerShouldAcceptNewConnection(zv::xpc::Listener&,
                                                                 zv::xpc::Connection& newConnection) {
  auto exportedObject = std::make_shared<ZVmacServiceXPC>();
  newConnection.SetExportedObject<ZV_XPC_Protocol>(exportedObject);
  newConnection.Resume();
  return true;
}
