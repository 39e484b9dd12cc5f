// SPDX-License-Identifier: MIT
#include "list_update/list_cache.h"

#include <list>
#include <mutex>

namespace zv {
namespace {

struct Entry {
  std::string name;
  struct stat status {};
  std::shared_ptr<const CachedList> list;
};

struct Cache {
  std::mutex mutex;
  std::list<Entry> entries;  // the most recent first
};

Cache& TheCache() {
  static Cache* const cache = new Cache;  // walks may end while main returns
  return *cache;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && SameTime(a.st_mtim, b.st_mtim) &&
         SameTime(a.st_ctim, b.st_ctim);
}

}  // namespace

std::unique_ptr<CachedList> FindCachedList(const std::string& name, const struct stat& status) {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (const Entry& entry : cache.entries) {
    if (entry.name == name) {
      return SameFile(entry.status, status) ? std::make_unique<CachedList>(*entry.list) : nullptr;
    }
  }
  return nullptr;
}

void RememberList(const std::string& name, const struct stat& status, const CachedList& list) {
  auto copy = std::make_shared<const CachedList>(list);
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.entries.remove_if([&name](const Entry& entry) { return entry.name == name; });
  cache.entries.push_front(Entry{name, status, std::move(copy)});
  if (cache.entries.size() > kCachedLists) cache.entries.pop_back();
}

}  // namespace zv
