// The exported interface of a connection: the operations a protocol
// declares, looked up by name, and how a request reaches one of them.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <vector>

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

/// The operations of one protocol, built from the protocol's table
/// `Protocol::kOperations` (an array of Operation<Protocol>).
class Interface {
 public:
  /// The interface of `Protocol`.
  template <class Protocol>
  static Interface WithProtocol() {
    Interface interface(typeid(Protocol));
    for (const Operation<Protocol>& operation : Protocol::kOperations) {
      interface.names_.push_back(operation.name);
    }
    interface.invoke_ = [](void* object, std::size_t index, const Request& request, const Reply& reply) {
      Protocol* target = static_cast<Protocol*>(object);
      (target->*Protocol::kOperations[index].member)(request, reply);
    };
    return interface;
  }

  /// The protocol this interface was built from.
  std::type_index protocol() const { return protocol_; }

  /// Index of the operation called `name`, or -1 when the protocol has none.
  int Find(std::string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) return static_cast<int>(i);
    }
    return -1;
  }

  /// Runs operation `index` (from Find) on `object`, which must point at an
  /// object of this interface's protocol type.
  void Invoke(void* object, int index, const Request& request, const Reply& reply) const {
    invoke_(object, static_cast<std::size_t>(index), request, reply);
  }

 private:
  explicit Interface(const std::type_info& protocol) : protocol_(protocol) {}

  std::type_index protocol_;
  std::vector<std::string_view> names_;
  void (*invoke_)(void*, std::size_t, const Request&, const Reply&) = nullptr;
};

}  // namespace zv::xpc
