// SPDX-License-Identifier: MIT
// The C entry points of libzvxpc: argument checks, errno and malloc'ed
// replies around ClientConnection. No exception leaves this file.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "client/blocking_call.h"
#include "client/client_connection.h"
#include "client/status_text.h"
#include "client/walk_text.h"
#include "platform/preferences_folder.h"
#include "zvxpc.h"

struct zvxpc_client {
  zv::ClientConnection connection;
};

namespace {

// -1 with errno set from the connection's last failure.
int FailWithErrno(const zvxpc_client* client) {
  errno = client->connection.error_number();
  return -1;
}

int FailWith(zvxpc_client* client, int error_number, std::string message) {
  client->connection.Fail(error_number, std::move(message));
  return FailWithErrno(client);
}

// A malloc'ed copy of `text` in *out: the caller frees it with free().
bool CopyOut(const std::string& text, char** out) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return false;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  *out = copy;
  return true;
}

// *out gets a malloc'ed copy of `text`, or NULL when there is none.
bool CopyOutOptional(const std::optional<std::string>& text, char** out) {
  if (!text) {
    *out = nullptr;
    return true;
  }
  return CopyOut(*text, out);
}

// -1 with errno `error_number`, for the calls that read a reply text and
// have no client to keep a message in.
int FailWithoutClient(int error_number) {
  errno = error_number;
  return -1;
}

std::optional<std::string_view> OptionalText(const char* text) {
  if (text == nullptr) return std::nullopt;
  return std::string_view(text);
}

// Sends and waits for the reply by `timeout_ms`; the reply text in *reply.
int CallWithText(zvxpc_client* client, const char* op, std::optional<std::string_view> text, int timeout_ms,
                 std::string* reply) {
  if (zv::BlockingCall(client->connection, op, text, zv::Deadline::In(timeout_ms), reply) != 0) {
    return FailWithErrno(client);
  }
  return 0;
}

// The walk request's text of `user`, `model` and the walk arguments in
// *text: 0, or -1 with EINVAL when the request could not carry them.
int ComposeWalk(zvxpc_client* client, const char* user, const char* model, int argc, const char* const* argv,
                std::string* text) {
  if (user == nullptr || model == nullptr || argc < 0 || (argc > 0 && argv == nullptr)) {
    return FailWith(client, EINVAL, "a user, a model and the walk arguments are needed");
  }
  std::vector<std::string_view> arguments;
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) return FailWith(client, EINVAL, "a walk argument is missing");
    arguments.emplace_back(argv[i]);
  }
  std::string error;
  if (!zv::ComposeWalkText(user, model, arguments, text, &error)) return FailWith(client, EINVAL, error);
  return 0;
}

// The walk request composed as ComposeWalk does, sent as `op`, and its
// reply awaited by `timeout_ms`; the reply text in *reply.
int CallWalk(zvxpc_client* client, const char* op, const char* user, const char* model, int argc,
             const char* const* argv, int timeout_ms, std::string* reply) {
  std::string text;
  if (ComposeWalk(client, user, model, argc, argv, &text) != 0) return -1;
  return CallWithText(client, op, text, timeout_ms, reply);
}

// The message of a reply that holds no walk result.
std::string NoWalkResult(const std::string& reply) { return "the service gave no walk result: \"" + reply + "\""; }

// Runs `body`, turning an exception (only std::bad_alloc can come) into
// -1 with ENOMEM.
template <typename Body>
int Guarded(zvxpc_client* client, Body body) {
  try {
    return body();
  } catch (...) {
    if (client != nullptr) client->connection.Fail(ENOMEM, "out of memory");
    errno = ENOMEM;
    return -1;
  }
}

// The walk request composed as zvxpc_walk does, sent as `op` without
// waiting.
int SendWalk(zvxpc_client* client, const char* op, const char* user, const char* model, int argc,
             const char* const* argv) {
  if (client == nullptr) return FailWithoutClient(EINVAL);
  return Guarded(client, [&] {
    std::string text;
    if (ComposeWalk(client, user, model, argc, argv, &text) != 0) return -1;
    return client->connection.Send(op, text) == 0 ? 0 : FailWithErrno(client);
  });
}

// The names of a list as the cancel and watch requests carry them, in
// *text: 0, or -1 with EINVAL.
int ComposeNames(zvxpc_client* client, const char* user, const char* model, std::string* text) {
  if (user == nullptr || model == nullptr) return FailWith(client, EINVAL, "a user and a model are needed");
  std::string error;
  if (!zv::ComposeListNames(user, model, text, &error)) return FailWith(client, EINVAL, error);
  return 0;
}

// The cancel on a connection of its own to `client`'s socket, whose own
// connection is busy with the walk: its reply word in *reply.
int CallCancel(zvxpc_client* client, const std::string& names, int timeout_ms, std::string* reply) {
  zv::ClientConnection side;
  if (!side.Connect(client->connection.socket_path()) ||
      zv::BlockingCall(side, ZVXPC_OP_WALK_CANCEL, names, zv::Deadline::In(timeout_ms), reply) != 0) {
    return FailWith(client, side.error_number(), side.error());
  }
  return 0;
}

}  // namespace

extern "C" {

zvxpc_client* zvxpc_connect(const char* socket_path) {
  try {
    std::string path, error;
    if (!zv::ChooseClientSocketPath(socket_path, &path, &error)) {
      errno = EINVAL;
      return nullptr;
    }
    zvxpc_client* client = new zvxpc_client;
    if (!client->connection.Connect(path)) {
      const int saved = client->connection.error_number();
      delete client;
      errno = saved;
      return nullptr;
    }
    return client;
  } catch (...) {
    errno = ENOMEM;
    return nullptr;
  }
}

void zvxpc_close(zvxpc_client* client) { delete client; }

int zvxpc_call(zvxpc_client* client, const char* op, const char* text, int timeout_ms, char** reply) {
  if (client == nullptr || op == nullptr || reply == nullptr) {
    errno = EINVAL;
    return client == nullptr ? -1 : FailWith(client, EINVAL, "no operation or no place for the reply");
  }
  return Guarded(client, [&] {
    std::string answer;
    if (CallWithText(client, op, OptionalText(text), timeout_ms, &answer) != 0) return -1;
    return CopyOut(answer, reply) ? 0 : FailWith(client, ENOMEM, "out of memory");
  });
}

int zvxpc_walk(zvxpc_client* client, const char* user, const char* model, int argc, const char* const* argv,
               int timeout_ms, int* result) {
  if (client == nullptr) return FailWithoutClient(EINVAL);
  if (result == nullptr) return FailWith(client, EINVAL, "no place for the walk result");
  return Guarded(client, [&] {
    std::string reply;
    if (CallWalk(client, ZVXPC_OP_WALK, user, model, argc, argv, timeout_ms, &reply) != 0) return -1;
    const std::optional<int> walk_result = zv::WalkResultOf(reply);
    if (!walk_result) return FailWith(client, EBADMSG, NoWalkResult(reply));
    *result = *walk_result;
    return 0;
  });
}

int zvxpc_walk_explain(zvxpc_client* client, const char* user, const char* model, int argc,
                       const char* const* argv, int timeout_ms, int* result, char** reason) {
  if (client == nullptr) return FailWithoutClient(EINVAL);
  if (result == nullptr || reason == nullptr) {
    return FailWith(client, EINVAL, "no place for the walk result or its reason");
  }
  return Guarded(client, [&] {
    std::string reply;
    if (CallWalk(client, ZVXPC_OP_WALK_EXPLAINED, user, model, argc, argv, timeout_ms, &reply) != 0) return -1;
    const std::optional<zv::WalkOutcome> outcome = zv::WalkOutcomeOf(reply);
    if (!outcome) return FailWith(client, EBADMSG, NoWalkResult(reply));
    if (!CopyOutOptional(outcome->reason, reason)) return FailWith(client, ENOMEM, "out of memory");
    *result = outcome->result;
    return 0;
  });
}

int zvxpc_walk_send(zvxpc_client* client, const char* user, const char* model, int argc,
                    const char* const* argv) {
  return SendWalk(client, ZVXPC_OP_WALK, user, model, argc, argv);
}

int zvxpc_walk_explain_send(zvxpc_client* client, const char* user, const char* model, int argc,
                            const char* const* argv) {
  return SendWalk(client, ZVXPC_OP_WALK_EXPLAINED, user, model, argc, argv);
}

int zvxpc_walk_result(const char* reply, int* result) {
  if (reply == nullptr || result == nullptr) return FailWithoutClient(EINVAL);
  const std::optional<int> walk_result = zv::WalkResultOf(reply);
  if (!walk_result) return FailWithoutClient(EBADMSG);
  *result = *walk_result;
  return 0;
}

int zvxpc_walk_reason(const char* reply, int* result, char** reason) {
  if (reply == nullptr || result == nullptr || reason == nullptr) return FailWithoutClient(EINVAL);
  try {
    const std::optional<zv::WalkOutcome> outcome = zv::WalkOutcomeOf(reply);
    if (!outcome) return FailWithoutClient(EBADMSG);
    if (!CopyOutOptional(outcome->reason, reason)) return FailWithoutClient(ENOMEM);
    *result = outcome->result;
    return 0;
  } catch (...) {
    return FailWithoutClient(ENOMEM);
  }
}

int zvxpc_status_field(const char* reply, const char* name, char** value) {
  if (reply == nullptr || name == nullptr || value == nullptr) return FailWithoutClient(EINVAL);
  try {
    std::string found;
    switch (zv::StatusFieldOf(reply, name, &found)) {
      case zv::StatusLookup::kFound: return CopyOut(found, value) ? 0 : FailWithoutClient(ENOMEM);
      case zv::StatusLookup::kAbsent: return FailWithoutClient(ENOENT);
      case zv::StatusLookup::kMalformed: break;
    }
    return FailWithoutClient(EBADMSG);
  } catch (...) {
    return FailWithoutClient(ENOMEM);
  }
}

int zvxpc_walk_saved(const char* reply, int* list) {
  if (reply == nullptr || list == nullptr) return FailWithoutClient(EINVAL);
  try {
    const std::optional<zv::WalkOutcome> outcome = zv::WalkOutcomeOf(reply);
    if (!outcome) return FailWithoutClient(EBADMSG);
    if (!outcome->list) return FailWithoutClient(ENOENT);
    *list = *outcome->list;
    return 0;
  } catch (...) {
    return FailWithoutClient(ENOMEM);
  }
}

int zvxpc_walk_cancel(zvxpc_client* client, const char* user, const char* model, int timeout_ms) {
  if (client == nullptr) return FailWithoutClient(EINVAL);
  return Guarded(client, [&] {
    std::string names, reply;
    if (ComposeNames(client, user, model, &names) != 0) return -1;
    if (CallCancel(client, names, timeout_ms, &reply) != 0) return -1;
    if (reply == ZVXPC_REPLY_TRUE) return 0;
    if (reply == ZVXPC_REPLY_FALSE) return FailWith(client, ESRCH, "no walk of that list runs or waits");
    return FailWith(client, EBADMSG, "the service gave no cancel word: \"" + reply + "\"");
  });
}

int zvxpc_watch_send(zvxpc_client* client, const char* user, const char* model) {
  if (client == nullptr) return FailWithoutClient(EINVAL);
  return Guarded(client, [&] {
    std::string names;
    if ((user != nullptr || model != nullptr) && ComposeNames(client, user, model, &names) != 0) return -1;
    return client->connection.Send(ZVXPC_OP_WATCH, names) == 0 ? 0 : FailWithErrno(client);
  });
}

int zvxpc_watch_path_send(zvxpc_client* client, const char* path) {
  if (client == nullptr) return FailWithoutClient(EINVAL);
  if (path == nullptr || path[0] != '/') return FailWith(client, EINVAL, "the path to watch must be absolute");
  return Guarded(client, [&] {
    return client->connection.Send(ZVXPC_OP_WATCH, std::string_view(path)) == 0 ? 0 : FailWithErrno(client);
  });
}

int zvxpc_watch_change(const char* reply, char** kind, char** path) {
  if (reply == nullptr || kind == nullptr || path == nullptr) return FailWithoutClient(EINVAL);
  try {
    std::string change_kind, change_path;
    switch (zv::ListChangeOf(reply, &change_kind, &change_path)) {
      case zv::WatchReply::kNothingYet: return 1;
      case zv::WatchReply::kMalformed: return FailWithoutClient(EBADMSG);
      case zv::WatchReply::kChange: break;
    }
    if (!CopyOut(change_kind, kind)) return FailWithoutClient(ENOMEM);
    if (!CopyOut(change_path, path)) {
      std::free(*kind);
      return FailWithoutClient(ENOMEM);
    }
    return 0;
  } catch (...) {
    return FailWithoutClient(ENOMEM);
  }
}

int zvxpc_fd(const zvxpc_client* client) { return client == nullptr ? -1 : client->connection.fd(); }

int zvxpc_send(zvxpc_client* client, const char* op, const char* text) {
  if (client == nullptr || op == nullptr) {
    errno = EINVAL;
    return client == nullptr ? -1 : FailWith(client, EINVAL, "no operation");
  }
  return Guarded(client, [&] {
    return client->connection.Send(op, OptionalText(text)) == 0 ? 0 : FailWithErrno(client);
  });
}

int zvxpc_receive(zvxpc_client* client, char** reply) {
  if (client == nullptr || reply == nullptr) {
    errno = EINVAL;
    return client == nullptr ? -1 : FailWith(client, EINVAL, "no place for the reply");
  }
  return Guarded(client, [&] {
    std::string answer;
    const int status = client->connection.Receive(&answer);
    if (status != 0) return status < 0 ? FailWithErrno(client) : status;
    return CopyOut(answer, reply) ? 0 : FailWith(client, ENOMEM, "out of memory");
  });
}

int zvxpc_events(const zvxpc_client* client) {
  if (client == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return client->connection.Events();
}

int zvxpc_flush(zvxpc_client* client) {
  if (client == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return Guarded(client, [&] {
    const int status = client->connection.Flush();
    return status < 0 ? FailWithErrno(client) : status;
  });
}

const char* zvxpc_error(const zvxpc_client* client) {
  return client == nullptr ? "" : client->connection.error().c_str();
}

const char* zvxpc_preferences_dir(void) {
  try {
    thread_local std::string folder;
    folder = zv::DefaultPreferencesDirectory();
    return folder.c_str();
  } catch (...) {
    errno = ENOMEM;
    return nullptr;
  }
}

}  // extern "C"
