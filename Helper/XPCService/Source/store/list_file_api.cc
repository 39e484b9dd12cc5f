// SPDX-License-Identifier: MIT
// The thread-safe C interface of libzvplist: a profile list's path by the
// service's naming rule, and the whole-file reader and writer on a path the
// caller gives, each with a one-line reason. No process-wide path
// variable is read or set here, and no exception leaves this file.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/preferences_folder.h"
#include "store/list_lock.h"
#include "store/profile_list_path.h"
#include "store/profile_plist_file.h"
#include "store/zvplist.h"

namespace zv {
namespace {

// A malloc'ed copy of `text`, or null when out of memory.
char* MallocCopy(std::string_view text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// -1, with the reason on one line in *error when the caller asked for one.
int FailWithReason(std::string_view reason, char** error) {
  if (error == nullptr) return -1;
  std::string line(reason);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  *error = MallocCopy(line);
  return -1;
}

// Runs `body` (which may throw only std::bad_alloc), turning an exception
// into -1 with ENOMEM.
template <typename Body>
int Guarded(char** error, Body body) {
  try {
    return body();
  } catch (...) {
    errno = ENOMEM;
    return FailWithReason("out of memory", error);
  }
}

}  // namespace
}  // namespace zv

extern "C" {

char* zvplist_path(const char* folder, const char* user, const char* model) {
  if (user == nullptr || model == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  try {
    const std::string chosen = folder != nullptr ? std::string(folder) : zv::DefaultPreferencesDirectory();
    std::string path;
    switch (zv::ComposeCurrentProfileListPath(chosen, user, model, &path)) {
      case zv::ProfileListPathStatus::kComposed: break;
      case zv::ProfileListPathStatus::kNameLeavesFolder: errno = EINVAL; return nullptr;
      case zv::ProfileListPathStatus::kTooLong: errno = ENAMETOOLONG; return nullptr;
    }
    char* copy = zv::MallocCopy(path);
    if (copy == nullptr) errno = ENOMEM;
    return copy;
  } catch (...) {
    errno = ENOMEM;
    return nullptr;
  }
}

int zvplist_read(const char* path, ProfileList* rgb, ProfileList* sim, ProfileList* dst, char** error) {
  if (error != nullptr) *error = nullptr;
  if (path == nullptr || rgb == nullptr || sim == nullptr || dst == nullptr) {
    return zv::FailWithReason("no path or no list to read into", error);
  }
  return zv::Guarded(error, [&] {
    // Read into cleared lists of its own, so that the outcome does not
    // depend on what the caller's lists held, and they stay untouched on
    // failure.
    auto lists = std::make_unique<ProfileList[]>(3);
    std::string reason;
    bool read;
    {
      // Saves are atomic renames, so a reader sees the old list or the new
      // one; only where the folder refuses new files does a save rewrite
      // the file in place, and the list's lock keeps readers away from that.
      zv::ProfileListLock lock(path, zv::ProfileListLock::Mode::kShared);
      read = zv::ReadProfileListFile(path, &lists[0], &lists[1], &lists[2], &reason);
    }
    if (!read) return zv::FailWithReason(reason, error);
    *rgb = lists[0];
    *sim = lists[1];
    *dst = lists[2];
    return 0;
  });
}

int zvplist_write(const char* path, const ProfileList* rgb, const ProfileList* sim, const ProfileList* dst,
                  char** error) {
  if (error != nullptr) *error = nullptr;
  if (path == nullptr || rgb == nullptr || sim == nullptr || dst == nullptr) {
    return zv::FailWithReason("no path or no list to write", error);
  }
  return zv::Guarded(error, [&] {
    std::string reason;
    zv::ProfileListLock lock(path, zv::ProfileListLock::Mode::kExclusive);
    return zv::WriteProfileListFile(path, *rgb, *sim, *dst, &reason) ? 0 : zv::FailWithReason(reason, error);
  });
}

}  // extern "C"
