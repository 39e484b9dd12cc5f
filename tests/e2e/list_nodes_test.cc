// SPDX-License-Identifier: MIT
// Walks and a whole-file write through the real zvxpcd where a profile
// list leads to a node of the test's own that is not a regular file: a
// device node (a FIFO where the test may not make one), a FIFO, a
// directory, a descriptor of the test's own through /proc, and a list that
// is itself a FIFO. Which paths are refused, and why, is
// ReplaceFileContentsTest's; here each reaches the client and the log.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "service_calls.h"
#include "support/other_user.h"
#include "walk_service.h"

namespace {

using zvtest::TempDir;

// A device node of the test's own (the null device's numbers) where root
// may make one, a FIFO otherwise; its kind as a refusal names it.
std::string MakeDeviceNodeOrFifo(const std::string& path) {
  if (zvtest::RunningAsRoot() && ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) return "a device node";
  EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
  return "a FIFO";
}

struct Node {
  ino_t inode = 0;
  mode_t mode = 0;
  bool operator==(const Node&) const = default;
};

Node NodeAt(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  return {st.st_ino, st.st_mode};
}

class ListNodesTest : public zvtest::PrinterAWalkTest {
 protected:
  // The explained walk of printer A for alice's list of `model`.
  std::string ExplainedWalk(const std::string& model) {
    return zvtest::CallOnce(socket_path(), ZVXPC_OP_WALK_EXPLAINED,
                            zvtest::WalkRequestText(model, "alice", zvtest::TableWalkArguments(printer_->address())));
  }
};

TEST_F(ListNodesTest, AListLeadingToANodeLeavesItAsItWasAndTheReplySaysWhy) {
  TempDir nodes;
  const std::string device_kind = MakeDeviceNodeOrFifo(nodes.File("device"));
  ASSERT_EQ(::mkfifo(nodes.File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(nodes.File("folder").c_str(), 0700), 0);
  // A file of the test's own on a descriptor the service inherits: were
  // the link followed, this file is all it could reach.
  zvtest::WriteFile(nodes.File("own"), "own");
  const int opened = ::open(nodes.File("own").c_str(), O_RDWR);
  const int own = ::fcntl(opened, F_DUPFD, 500);
  ::close(opened);
  ASSERT_GE(own, 500);
  StartService(/*default_directory=*/false, {"--verbose"});
  const struct {
    const char* model;
    std::string link_text;  // empty: the list is itself a FIFO
    std::string leads;      // the refusal after the quoted list path
    std::string node;       // what must stay as it was
  } cases[] = {
      {"DEVICE", nodes.File("device"), " leads to " + device_kind + ", not a regular file", nodes.File("device")},
      {"FIFO", nodes.File("fifo"), " leads to a FIFO, not a regular file", nodes.File("fifo")},
      {"FOLDER", nodes.File("folder"), " leads to a directory, not a regular file", nodes.File("folder")},
      {"PROC", "/proc/self/fd/" + std::to_string(own), " leads through /proc", nodes.File("own")},
      {"OWNFIFO", "", " leads to a FIFO, not a regular file", CurrentPlist("alice", "OWNFIFO")},
  };
  for (const auto& c : cases) {
    const std::string list = CurrentPlist("alice", c.model);
    if (c.link_text.empty()) {
      ASSERT_EQ(::mkfifo(list.c_str(), 0600), 0);
    } else {
      ASSERT_EQ(::symlink(c.link_text.c_str(), list.c_str()), 0);
    }
  }
  const std::vector<std::string> entries = PreferencesEntries();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    const std::string list = CurrentPlist("alice", c.model);
    const Node before = NodeAt(c.node), link_before = NodeAt(list);
    const std::string reply = ExplainedWalk(c.model);
    EXPECT_EQ(reply.rfind("iRet=0" ZVXPC_REASON_MARKER, 0), 0u) << reply;
    EXPECT_NE(reply.find("the profile list '" + list + "' could not be written: '" + list + "'" + c.leads),
              std::string::npos)
        << reply;
    EXPECT_EQ(NodeAt(c.node), before);
    EXPECT_EQ(NodeAt(list), link_before);
  }
  EXPECT_EQ(PreferencesEntries(), entries);  // nothing kept aside, nothing new
  EXPECT_FALSE(zvtest::Exists(nodes.File("device.unreadable")));
  EXPECT_FALSE(zvtest::Exists(nodes.File("fifo.unreadable")));
  EXPECT_EQ(zvtest::ReadFile(nodes.File("own")), "own");
  ::close(own);

  // A whole-file write to the device node itself answers FALSE and says why.
  const Node device = NodeAt(nodes.File("device"));
  const std::string url = "file://" + nodes.File("device");
  EXPECT_EQ(zvtest::CallOnce(socket_path(), ZVXPC_OP_WRITE_DICTIONARY, url + ":AddURL:END<plist/>"), "FALSE");
  EXPECT_EQ(NodeAt(nodes.File("device")), device);
  EXPECT_EQ(LogLines().back(), "xpc - writeDictionaryToPlistFile_XPC:reply: - FALSE for '" + url + "': '" +
                                   nodes.File("device") + "' leads to " + device_kind + ", not a regular file");
}

}  // namespace
