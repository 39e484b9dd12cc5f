// SPDX-License-Identifier: MIT
// The walk's argument vector as a client sends it: arguments separated by
// zero bytes, parsed as the walk parses them, the root OID included. Only
// parsing: nothing is sent. Nothing may crash, hang, read outside the
// vector or take time or memory beyond the bounds of one walk.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "walk/walk_arguments.h"

namespace {

// The walk request's own limit on arguments.
constexpr std::size_t kMostArguments = 512;

std::vector<std::string> SplitAtZeroBytes(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments = {"mib_walk"};
  std::string current;
  for (std::size_t i = 0; i < size && arguments.size() <= kMostArguments; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (!current.empty() && arguments.size() <= kMostArguments) arguments.push_back(current);
  return arguments;
}

}  // namespace

// The library reads no configuration or MIBs of the machine and keeps its
// persistent directory in a folder of its own.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("SNMPCONFPATH", "/nonexistent", 1);
  setenv("MIBS", "", 1);
  setenv("MIBDIRS", "", 1);
  static char state[] = "/tmp/zv-walk-arguments-fuzz-XXXXXX";
  if (mkdtemp(state) != nullptr) setenv("SNMP_PERSISTENT_DIR", state, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments = SplitAtZeroBytes(data, size);
  // Exactly argc entries: a read past the vector is a read outside it.
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  const int argc = static_cast<int>(argv.size());

  netsnmp_session session;
  zv::WalkArgumentStorage storage{};
  const int parsed = zv::ParseWalkArguments(argc, argv.data(), &session, &storage, "C:", optProc);
  if (parsed >= 0 && parsed < argc) {
    oid root[MAX_OID_LEN];
    std::size_t length = 0;
    (void)zv::ParseWalkRoot(argv[parsed], root, &length);
  }
  return 0;
}
