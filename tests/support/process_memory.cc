// SPDX-License-Identifier: MIT
#include "support/process_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace zvtest {

bool ReadPrivateMemory(pid_t pid, std::string* memory) {
  constexpr unsigned long kLargestMapping = 1UL << 30;
  constexpr std::size_t kChunk = 1 << 16;
  const std::string proc = "/proc/" + std::to_string(pid);
  const int mem = ::open((proc + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
  if (mem < 0) return false;
  std::ifstream maps(proc + "/maps");
  std::string chunk(kChunk, '\0');
  for (std::string line; std::getline(maps, line);) {
    unsigned long start = 0;
    unsigned long end = 0;
    char permissions[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, permissions) != 3) continue;
    if (permissions[0] != 'r' || permissions[3] != 'p' || end - start > kLargestMapping) continue;
    for (unsigned long at = start; at < end; at += kChunk) {
      const ssize_t n = ::pread(mem, chunk.data(), std::min<unsigned long>(kChunk, end - at), static_cast<off_t>(at));
      if (n > 0) memory->append(chunk, 0, static_cast<std::size_t>(n));
    }
  }
  ::close(mem);
  return true;
}

}  // namespace zvtest
