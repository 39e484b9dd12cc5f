// SPDX-License-Identifier: MIT
// A scripted SNMP responder for the walk's tests: answers what a real agent
// will not (an OID that does not increase, an empty variable list, a
// noSuchName or genErr at the end of a walk, a broken GETBULK), built on
// Net-SNMP's PDU functions. It binds a free UDP port on 127.0.0.1, prints
// the port on the first line of its standard output and serves until it is
// killed.
//
//   scripted_responder [--log FILE] [--end MODE] [--bulk MODE]
//                      [OID=INTEGER | OID=s:TEXT | OID=x:TYPE | OID=e:STATUS | OID=n:]...
//
// OID=x:TYPE serves an exception value (TYPE 128 noSuchObject, 129
// noSuchInstance, 130 endOfMibView) as if it were the OID's value;
// OID=e:STATUS makes every request whose answer would hold OID fail with
// error status STATUS, and OID=n: leaves every such request unanswered.
// GETNEXT answers with the first served OID after the one asked for; past
// the last one the end MODE decides: "endofmibview" (default), "nosuchname"
// (error status, variables echoed), "empty" (no variables), "repeat" (the
// OID asked for, as an INTEGER 0) or "cycle" (the first served value
// again, so a walk without ordering check goes round for ever).
// GETBULK (non-repeaters 0) answers with the next max-repetitions values
// as GETNEXT would give them one by one, the end MODE deciding past the
// last one, unless --bulk MODE says otherwise: "serve" (default), "generr"
// (error status genErr), "empty" (no variables), "extra" (one variable
// more than asked for), "toobig:K" (tooBig whenever more than K
// repetitions are asked for), "most:K" (at most K variables, as an agent
// cuts an answer to its largest message), "drop:K" (every K-th GETBULK
// left unanswered; "drop:1": all of them), or one of three lies whose
// GETNEXT answers stay sane: "reversed" (the variables in reverse order),
// "endofmibview" (the middle variable of an answer of two or more turned
// into endOfMibView) and "nosuchobject" (the middle variable turned into
// noSuchObject).
// GET answers a served OID with its value, and any other with noSuchName
// (SNMPv1) or noSuchObject. Every request is appended to the log as
// "GET <oid>", "GETNEXT <oid>" or "GETBULK <oid> <max-repetitions>", in
// numeric form.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct ServedValue {
  oid name[MAX_OID_LEN];
  size_t name_length;
  u_char type;        // ASN_INTEGER, ASN_OCTET_STR or an exception
  long integer;       // the value, or the error status of OID=e:STATUS
  bool fails;         // OID=e:STATUS
  bool silent;        // OID=n:
  std::string text;
};

struct Script {
  std::vector<ServedValue> values;  // in OID order
  std::string end_mode = "endofmibview";
  std::string bulk_mode = "serve";
  long bulk_requests = 0;  // GETBULK requests received, for "drop:K"
  std::FILE* log = nullptr;
};

bool ParseServedValue(const char* argument, ServedValue* value) {
  const char* equals = std::strchr(argument, '=');
  if (equals == nullptr) return false;
  const std::string oid_text(argument, equals);
  value->name_length = MAX_OID_LEN;
  if (read_objid(oid_text.c_str(), value->name, &value->name_length) == 0) return false;
  const char* text = equals + 1;
  value->type = ASN_INTEGER;
  if (std::strncmp(text, "s:", 2) == 0) {
    value->type = ASN_OCTET_STR;
    value->text = text + 2;
  } else if (std::strncmp(text, "x:", 2) == 0) {
    value->type = static_cast<u_char>(std::strtol(text + 2, nullptr, 10));
  } else if (std::strncmp(text, "n:", 2) == 0) {
    value->silent = true;
  } else if (std::strncmp(text, "e:", 2) == 0) {
    value->fails = true;
    value->integer = std::strtol(text + 2, nullptr, 10);
  } else {
    value->integer = std::strtol(text, nullptr, 10);
  }
  return true;
}

bool Before(const ServedValue& a, const ServedValue& b) {
  return snmp_oid_compare(a.name, a.name_length, b.name, b.name_length) < 0;
}

void LogRequest(const Script& script, const netsnmp_pdu& request) {
  if (script.log == nullptr || request.variables == nullptr) return;
  char text[MAX_OID_LEN * 12];
  if (snprint_objid(text, sizeof text, request.variables->name, request.variables->name_length) < 0) {
    std::snprintf(text, sizeof text, "?");
  }
  if (request.command == SNMP_MSG_GETBULK) {
    std::fprintf(script.log, "GETBULK %s %ld\n", text, request.max_repetitions);
  } else {
    std::fprintf(script.log, "%s %s\n", request.command == SNMP_MSG_GET ? "GET" : "GETNEXT", text);
  }
  std::fflush(script.log);
}

void AddServed(netsnmp_pdu* reply, const ServedValue& value) {
  if (value.type == ASN_OCTET_STR) {
    snmp_pdu_add_variable(reply, value.name, value.name_length, ASN_OCTET_STR, value.text.data(),
                          value.text.size());
  } else if (value.type == ASN_INTEGER) {
    snmp_pdu_add_variable(reply, value.name, value.name_length, ASN_INTEGER, &value.integer,
                          sizeof value.integer);
  } else {
    snmp_pdu_add_variable(reply, value.name, value.name_length, value.type, nullptr, 0);
  }
}

const ServedValue* Find(const Script& script, const oid* name, size_t length, bool next) {
  for (const ServedValue& value : script.values) {
    const int order = snmp_oid_compare(value.name, value.name_length, name, length);
    if (next ? order > 0 : order == 0) return &value;
  }
  return nullptr;
}

// An error answer: the status, and the request's variable echoed.
void SetError(netsnmp_pdu* reply, long status, const netsnmp_pdu& request) {
  snmp_free_varbind(reply->variables);
  reply->variables = nullptr;
  reply->errstat = status;
  reply->errindex = 1;
  snmp_add_null_var(reply, request.variables->name, request.variables->name_length);
}

// Fills `reply` for a GETNEXT of `name` past the last served value.
// False: no answer.
bool AnswerEnd(const Script& script, const netsnmp_pdu& request, const oid* name, size_t length,
               netsnmp_pdu* reply) {
  if (script.end_mode == "nosuchname") {
    SetError(reply, SNMP_ERR_NOSUCHNAME, request);
  } else if (script.end_mode == "cycle" && !script.values.empty()) {
    AddServed(reply, script.values.front());
  } else if (script.end_mode == "repeat") {
    const long zero = 0;
    snmp_pdu_add_variable(reply, name, length, ASN_INTEGER, &zero, sizeof zero);
  } else if (script.end_mode != "empty") {
    snmp_pdu_add_variable(reply, name, length, SNMP_ENDOFMIBVIEW, nullptr, 0);
  }
  return true;
}

// Adds the value served at `value`, or the error it stands for. False:
// no answer.
bool AddOrFail(const ServedValue& value, const netsnmp_pdu& request, netsnmp_pdu* reply) {
  if (value.silent) return false;
  if (value.fails) {
    SetError(reply, value.integer, request);
  } else {
    AddServed(reply, value);
  }
  return true;
}

// The next max-repetitions values after the one asked for, as GETNEXT requests
// would give them one by one. False: no answer.
bool AnswerBulk(const Script& script, const netsnmp_pdu& request, netsnmp_pdu* reply) {
  const netsnmp_variable_list& asked = *request.variables;
  const oid* name = asked.name;
  size_t length = asked.name_length;
  for (long taken = 0; taken < request.max_repetitions && reply->errstat == SNMP_ERR_NOERROR; ++taken) {
    const ServedValue* value = Find(script, name, length, true);
    if (value == nullptr) return AnswerEnd(script, request, name, length, reply);
    if (!AddOrFail(*value, request, reply)) return false;
    name = value->name;
    length = value->name_length;
  }
  return true;
}

// The number after "NAME:" in `mode`, or -1 when `mode` is not NAME:K.
long ModeNumber(const std::string& mode, const std::string& name) {
  if (mode.rfind(name + ":", 0) != 0) return -1;
  return std::atol(mode.c_str() + name.size() + 1);
}

// Answers `request` as if it asked for `repetitions`. False: no answer.
bool AnswerBulkOf(const Script& script, const netsnmp_pdu& request, long repetitions, netsnmp_pdu* reply) {
  netsnmp_pdu resized = request;
  resized.max_repetitions = repetitions;
  return AnswerBulk(script, resized, reply);
}

void Reverse(netsnmp_pdu* reply) {
  netsnmp_variable_list* reversed = nullptr;
  while (reply->variables != nullptr) {
    netsnmp_variable_list* next = reply->variables->next_variable;
    reply->variables->next_variable = reversed;
    reversed = reply->variables;
    reply->variables = next;
  }
  reply->variables = reversed;
}

// Turns the middle variable of an answer of at least `least` variables
// into the exception value `type`.
void PutExceptionInTheMiddle(netsnmp_pdu* reply, u_char type, int least) {
  int count = 0;
  for (netsnmp_variable_list* v = reply->variables; v != nullptr; v = v->next_variable) ++count;
  if (count < least) return;
  netsnmp_variable_list* middle = reply->variables;
  for (int i = 0; i < (count - 1) / 2; ++i) middle = middle->next_variable;
  snmp_set_var_typed_value(middle, type, nullptr, 0);
}

// GETBULK as the --bulk mode says. False: no answer.
bool AnswerBulkRequest(Script& script, const netsnmp_pdu& request, netsnmp_pdu* reply) {
  const std::string& mode = script.bulk_mode;
  ++script.bulk_requests;
  const long drop_every = ModeNumber(mode, "drop");
  const long most = ModeNumber(mode, "most");
  if (drop_every > 0 && script.bulk_requests % drop_every == 0) return false;
  if (mode == "generr") {
    SetError(reply, SNMP_ERR_GENERR, request);
  } else if (ModeNumber(mode, "toobig") >= 0 && request.max_repetitions > ModeNumber(mode, "toobig")) {
    SetError(reply, SNMP_ERR_TOOBIG, request);
  } else if (mode == "extra") {
    return AnswerBulkOf(script, request, request.max_repetitions + 1, reply);
  } else if (most > 0) {
    return AnswerBulkOf(script, request, std::min(request.max_repetitions, most), reply);
  } else if (mode != "empty") {
    if (!AnswerBulk(script, request, reply)) return false;
    if (mode == "reversed") Reverse(reply);
    if (mode == "endofmibview") PutExceptionInTheMiddle(reply, SNMP_ENDOFMIBVIEW, 2);
    if (mode == "nosuchobject") PutExceptionInTheMiddle(reply, SNMP_NOSUCHOBJECT, 1);
  }
  return true;
}

bool Answer(Script& script, const netsnmp_pdu& request, netsnmp_pdu* reply) {
  const netsnmp_variable_list& asked = *request.variables;
  if (request.command == SNMP_MSG_GETBULK) return AnswerBulkRequest(script, request, reply);
  const bool next = request.command == SNMP_MSG_GETNEXT;
  const ServedValue* value = Find(script, asked.name, asked.name_length, next);
  if (value != nullptr) return AddOrFail(*value, request, reply);
  if (next) return AnswerEnd(script, request, asked.name, asked.name_length, reply);
  if (request.version == SNMP_VERSION_1) {
    SetError(reply, SNMP_ERR_NOSUCHNAME, request);
  } else {
    snmp_pdu_add_variable(reply, asked.name, asked.name_length, SNMP_NOSUCHOBJECT, nullptr, 0);
  }
  return true;
}

int OnMessage(int operation, netsnmp_session* session, int, netsnmp_pdu* request, void* magic) {
  if (operation != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || request->variables == nullptr) return 1;
  if (request->command != SNMP_MSG_GET && request->command != SNMP_MSG_GETNEXT &&
      request->command != SNMP_MSG_GETBULK) {
    return 1;
  }
  Script& script = *static_cast<Script*>(magic);
  LogRequest(script, *request);
  netsnmp_pdu* reply = snmp_clone_pdu(request);
  snmp_free_varbind(reply->variables);
  reply->variables = nullptr;
  reply->command = SNMP_MSG_RESPONSE;
  reply->errstat = SNMP_ERR_NOERROR;
  reply->errindex = 0;
  if (!Answer(script, *request, reply) || snmp_send(session, reply) == 0) snmp_free_pdu(reply);
  return 1;
}

bool ParseArguments(int argc, char** argv, Script* script) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--log" && i + 1 < argc) {
      script->log = std::fopen(argv[++i], "a");
      if (script->log == nullptr) return false;
    } else if (argument == "--end" && i + 1 < argc) {
      script->end_mode = argv[++i];
    } else if (argument == "--bulk" && i + 1 < argc) {
      script->bulk_mode = argv[++i];
    } else {
      ServedValue value{};
      if (!ParseServedValue(argv[i], &value)) return false;
      script->values.push_back(value);
    }
  }
  std::stable_sort(script->values.begin(), script->values.end(), Before);
  return true;
}

int BoundPort(int socket_fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

void Serve() {
  while (true) {
    int fds = 0;
    int block = 1;
    fd_set readable;
    FD_ZERO(&readable);
    timeval timeout{};
    snmp_select_info(&fds, &readable, &timeout, &block);
    if (select(fds, &readable, nullptr, nullptr, block ? nullptr : &timeout) > 0) {
      snmp_read(&readable);
    } else {
      snmp_timeout();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  netsnmp_register_loghandler(NETSNMP_LOGHANDLER_STDERR, LOG_WARNING);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
  setenv("MIBS", "", 1);
  setenv("MIBDIRS", "", 1);
  init_snmp("zvresponder");
  netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_OID_OUTPUT_FORMAT, NETSNMP_OID_OUTPUT_NUMERIC);

  Script script;
  if (!ParseArguments(argc, argv, &script)) {
    std::fprintf(stderr, "usage: %s [--log FILE] [--end MODE] [--bulk MODE] [OID=VALUE]...\n", argv[0]);
    return 2;
  }
  netsnmp_transport* transport = netsnmp_transport_open_server("zvresponder", "udp:127.0.0.1:0");
  if (transport == nullptr) {
    std::fprintf(stderr, "cannot open udp:127.0.0.1:0\n");
    return 1;
  }
  netsnmp_session settings;
  snmp_sess_init(&settings);
  settings.callback = OnMessage;
  settings.callback_magic = &script;
  settings.isAuthoritative = SNMP_SESS_AUTHORITATIVE;
  if (snmp_add(&settings, transport, nullptr, nullptr) == nullptr) {
    std::fprintf(stderr, "snmp_add failed\n");
    return 1;
  }
  std::printf("%d\n", BoundPort(transport->sock));
  std::fflush(stdout);
  Serve();
}
