// SPDX-License-Identifier: MIT
#include "walk/select_calls.h"

#include <dlfcn.h>
#include <sys/select.h>

#include <cerrno>

namespace {

thread_local std::vector<zvtest::SelectCall>* recording = nullptr;

using SelectFunction = int (*)(int, fd_set*, fd_set*, fd_set*, timeval*);

SelectFunction LibrarySelect() {
  static const auto function = reinterpret_cast<SelectFunction>(::dlsym(RTLD_NEXT, "select"));
  return function;
}

}  // namespace

extern "C" int select(int count, fd_set* read, fd_set* write, fd_set* except, timeval* timeout) {
  const long long timeout_us = timeout == nullptr ? -1 : timeout->tv_sec * 1000000LL + timeout->tv_usec;
  const int ready = LibrarySelect()(count, read, write, except, timeout);
  if (recording != nullptr) {
    const int saved_errno = errno;  // the caller reads it after a failure
    recording->push_back({timeout_us, ready});
    errno = saved_errno;
  }
  return ready;
}

namespace zvtest {

SelectRecorder::SelectRecorder() { recording = &calls_; }

SelectRecorder::~SelectRecorder() { recording = nullptr; }

}  // namespace zvtest
