// SPDX-License-Identifier: MIT
// Running a piece of a test as an unprivileged user, so that permission
// cases hold also when the suite runs as root.
#pragma once

#include <functional>

namespace zvtest {

/// The uid and gid used for "another user" (nobody/nogroup: 65534).
constexpr unsigned kOtherUid = 65534;
constexpr unsigned kOtherGid = 65534;

/// Runs `body` in a forked child. When the test runs as root, the child
/// first drops all groups and switches to kOtherUid/kOtherGid; otherwise it
/// keeps the current (already unprivileged) user. A case that expects a
/// refusal therefore sets permission bits that refuse the files' owner as
/// well as others (0444, 0555, 0200): they refuse `body` either way.
/// Returns the value `body` returned in the child (0 to 255), or -1 when
/// the child could not be run or did not exit normally. `body` must not
/// use gtest assertions.
int RunAsOtherUser(const std::function<int()>& body);

/// True when the tests run as root (permission bits do not stop them).
bool RunningAsRoot();

}  // namespace zvtest
