// SPDX-License-Identifier: MIT
// The select(2) calls of one thread, recorded with their time limits: the
// walk waits for a device inside select, and a test sees how it waits
// without timing it. The test program's own select comes before the C
// library's for every caller, the SNMP library included, and passes each
// call on unchanged.
#pragma once

#include <vector>

namespace zvtest {

/// One select call: the time limit it was given in microseconds (-1 when
/// it had none) and what it returned.
struct SelectCall {
  long long timeout_us;
  int ready;
};

/// Records the select calls that the thread which made it makes, for the
/// life of the object. Not nested.
class SelectRecorder {
 public:
  SelectRecorder();
  ~SelectRecorder();
  SelectRecorder(const SelectRecorder&) = delete;
  SelectRecorder& operator=(const SelectRecorder&) = delete;

  const std::vector<SelectCall>& calls() const { return calls_; }

 private:
  std::vector<SelectCall> calls_;
};

}  // namespace zvtest
