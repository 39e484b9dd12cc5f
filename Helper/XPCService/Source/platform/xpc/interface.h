// SPDX-License-Identifier: MIT
// The exported interface of a connection: the operations a protocol
// declares, looked up by name, and the object of that protocol that
// carries them out.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zv::xpc {

/// The argument object of a request: a text, or nullopt when the client
/// sent none.
using Request = std::optional<std::string>;

/// The reply callback of an operation. An operation calls it exactly once,
/// on its own thread, before it returns; the connection sends the text.
using Reply = std::function<void(std::string_view)>;

/// One operation of a protocol: its name on the wire and the member that
/// carries it out.
template <class Protocol>
struct Operation {
  std::string_view name;
  void (Protocol::*member)(const Request& request, const Reply& reply);
};

/// What a connection serves requests with, whatever its protocol.
class ExportedInterface {
 public:
  virtual ~ExportedInterface() = default;
  /// Index of the operation called `name`, or -1 when the protocol has none.
  virtual int Find(std::string_view name) const = 0;
  /// Runs operation `index` (from Find) on the exported object.
  virtual void Invoke(int index, const Request& request, const Reply& reply) const = 0;
};

/// The operations of `Protocol` (its table `Protocol::kOperations`, an
/// array of Operation<Protocol>) served by one object of that protocol.
template <class Protocol>
class ProtocolInterface final : public ExportedInterface {
 public:
  explicit ProtocolInterface(std::shared_ptr<Protocol> object) : object_(std::move(object)) {}

  int Find(std::string_view name) const override {
    for (std::size_t i = 0; i < Protocol::kOperations.size(); ++i) {
      if (Protocol::kOperations[i].name == name) return static_cast<int>(i);
    }
    return -1;
  }

  void Invoke(int index, const Request& request, const Reply& reply) const override {
    ((*object_).*Protocol::kOperations[static_cast<std::size_t>(index)].member)(request, reply);
  }

 private:
  std::shared_ptr<Protocol> object_;
};

}  // namespace zv::xpc
