// SPDX-License-Identifier: MIT
// Whole-file replacement: content, permission bits, refusals and the
// in-place fallback, symbolic links, what a killed writer leaves, and the
// flushes a save makes as strace sees them.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix_io.h"
#include "platform/whole_file.h"
#include "support/other_user.h"
#include "support/temp_dir.h"

namespace {

using zvtest::TempDir;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::size_t EntriesIn(const std::string& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string LinkText(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::read_symlink(path, ignored);
}

// The id of a process that has ended (and been reaped).
pid_t EndedProcessId() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

// The tracer of a process, as /proc tells it (0: none).
pid_t TracerOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return static_cast<pid_t>(std::stol(line.substr(10)));
  }
  return 0;
}

// The file calls of one save of `data` to `path` as strace saw them, one
// line each, with every descriptor followed by the path it is open on
// (strace -y). The save runs in a child that strace attaches to before it
// is told to start. Fails the test (and returns nothing) when strace cannot
// trace it.
std::vector<std::string> TracedSave(const std::string& path, const std::string& data, const std::string& log) {
  int go[2];
  if (pipe(go) != 0) return {};
  const pid_t saver = fork();
  if (saver == 0) {
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY);
    char start;
    close(go[1]);
    if (read(go[0], &start, 1) != 1) _exit(2);
    std::string error;
    _exit(zv::ReplaceFileContents(path, data, &error) ? 0 : 1);
  }
  close(go[0]);
  const std::string pid_text = std::to_string(saver);
  const char* argv[] = {"strace", "-qq", "-y", "-o", log.c_str(), "-e", "trace=/^(openat|fsync|fdatasync|rename.*)$",
                        "-p", pid_text.c_str(), nullptr};
  pid_t tracer = -1;
  EXPECT_EQ(posix_spawnp(&tracer, "strace", nullptr, nullptr, const_cast<char* const*>(argv), environ), 0)
      << "strace is missing";
  // Either strace attaches, or it ends having failed to.
  int tracer_status = 0;
  while (tracer > 0 && TracerOf(saver) != tracer && waitpid(tracer, &tracer_status, WNOHANG) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const bool attached = tracer > 0 && TracerOf(saver) == tracer;
  if (attached) {
    EXPECT_EQ(write(go[1], "s", 1), 1);
  }
  close(go[1]);
  int saver_status = 0;
  waitpid(saver, &saver_status, 0);
  if (attached) waitpid(tracer, &tracer_status, 0);
  EXPECT_TRUE(attached) << "strace could not trace the save";
  EXPECT_TRUE(WIFEXITED(saver_status) && WEXITSTATUS(saver_status) == 0) << "the save failed";
  std::vector<std::string> calls;
  std::ifstream lines(log);
  for (std::string line; attached && std::getline(lines, line);) calls.push_back(line);
  return calls;
}

// The position of the first of `calls` from `from` on that starts with
// `start` and holds each of `parts`; calls.size() when there is none.
std::size_t FindCall(const std::vector<std::string>& calls, std::size_t from, const std::string& start,
                     const std::vector<std::string>& parts) {
  for (std::size_t i = from; i < calls.size(); ++i) {
    const auto holds = [&](const std::string& part) { return calls[i].find(part) != std::string::npos; };
    if (calls[i].rfind(start, 0) == 0 && std::all_of(parts.begin(), parts.end(), holds)) return i;
  }
  return calls.size();
}

TEST(ReplaceFileContentsTest, FlushesTheFileThenRenamesThenFlushesTheFolder) {
  TempDir dir, logs;
  const std::string folder = std::filesystem::canonical(dir.path());
  const std::string path = folder + "/list.plist";
  zvtest::WriteFile(path, "old");
  const std::vector<std::string> calls = TracedSave(path, "new", logs.File("strace.log"));
  std::ostringstream seen;
  for (const std::string& call : calls) seen << call << "\n";
  // The new file's flush is on a descriptor of a file in the folder; the
  // folder's on one opened on the folder itself after the rename.
  const std::size_t file_flush = FindCall(calls, 0, "fsync(", {"<" + folder + "/", "= 0"});
  const std::size_t rename = FindCall(calls, file_flush, "rename", {"\"" + path + "\") = 0"});
  const std::size_t folder_open =
      FindCall(calls, rename, "openat(", {"O_RDONLY|O_CLOEXEC|O_DIRECTORY) = ", "<" + folder + ">"});
  const std::size_t folder_flush = FindCall(calls, folder_open, "fsync(", {"<" + folder + ">)", "= 0"});
  EXPECT_LT(file_flush, calls.size()) << seen.str();
  EXPECT_LT(rename, calls.size()) << seen.str();
  EXPECT_LT(folder_open, calls.size()) << seen.str();
  EXPECT_LT(folder_flush, calls.size()) << seen.str();
  EXPECT_EQ(zvtest::ReadFile(path), "new");
}

int FailingFlush(int) {
  errno = EIO;
  return -1;
}

// After the rename the name is the new file's: a folder flush that fails
// fails the save, and says that the new content is in place.
TEST(ReplaceFileContentsTest, AFailedFolderFlushFailsTheSaveWithTheNewContentInPlace) {
  TempDir dir;
  const std::string path = dir.File("list.plist");
  zvtest::WriteFile(path, "old");
  zv::SetFolderFlushForTesting(FailingFlush);
  std::string error;
  bool in_place_unflushed = false;
  const bool saved = zv::ReplaceFileContents(path, "new", &error, &in_place_unflushed);
  zv::SetFolderFlushForTesting(nullptr);
  EXPECT_FALSE(saved);
  EXPECT_TRUE(in_place_unflushed);
  EXPECT_EQ(zvtest::ReadFile(path), "new");
  EXPECT_NE(error.find("the new content is in place"), std::string::npos) << error;
}

// The file holds the new content whole, keeps its permission bits (a new
// one takes the creation mask), and no temporary file stays behind.
TEST(ReplaceFileContentsTest, ReplacesTheWholeContentAndKeepsPermissionBits) {
  struct Case {
    const char* name;
    std::string file_name;
    std::optional<std::string> old_content;  // none: no file yet
    mode_t mode;                             // the old file's, or the new file's expected
    std::string content;
  };
  const Case cases[] = {
      {"new file under the creation mask", "new.plist", std::nullopt, 0664, "payload"},
      {"longer file, bits of its own", "old.plist", std::string(100000, 'x'), 0640, "short"},
      {"empty content", "empty", "old", 0604, ""},
      {"longest name", std::string(NAME_MAX, 'n'), "old", 0664, "new"},
  };
  const mode_t old_mask = umask(002);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File(c.file_name);
    if (c.old_content) {
      zvtest::WriteFile(path, *c.old_content);
      ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    }
    std::string error;
    EXPECT_TRUE(zv::ReplaceFileContents(path, c.content, &error)) << error;
    EXPECT_TRUE(zvtest::Exists(path));
    EXPECT_EQ(zvtest::ReadFile(path), c.content);
    EXPECT_EQ(ModeOf(path), c.mode);
    EXPECT_EQ(EntriesIn(dir.path()), 1u) << "no temporary file may stay behind";
  }
  umask(old_mask);
}

TEST(ReplaceFileContentsTest, MissingDirectoryFailsWithMessage) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(zv::ReplaceFileContents(dir.File("no/such/dir/file"), "x", &error));
  EXPECT_EQ(error, "realpath(" + dir.File("no/such/dir/") + "): No such file or directory");
  EXPECT_FALSE(zvtest::Exists(dir.File("no")));
}

// Run as another user in a folder it may not change: a file it may write is
// replaced in place; a read-only one refuses and keeps its content, and a
// new one cannot be made.
TEST(ReplaceFileContentsTest, ReadOnlyDirectoryFallsBackToAWritableFileOnly) {
  const struct {
    const char* name;
    mode_t file_mode;  // 0: no file
    const char* content;  // afterwards
  } cases[] = {
      {"writable file", 0666, "new"},
      {"read-only file", 0444, "old content"},
      {"new file", 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string sub = dir.File("locked");
    ASSERT_EQ(mkdir(sub.c_str(), 0777), 0);
    const std::string path = sub + "/profile.plist";
    if (c.file_mode != 0) {
      zvtest::WriteFile(path, "old content");
      ASSERT_EQ(chmod(path.c_str(), c.file_mode), 0);
    }
    ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
    const int result = zvtest::RunAsOtherUser([&] {
      std::string error;
      if (zv::ReplaceFileContents(path, "new", &error)) return 0;
      return c.file_mode != 0 || error.find("open(") != std::string::npos ? 1 : 2;  // the refused call named
    });
    EXPECT_EQ(result, c.file_mode == 0666 ? 0 : 1);
    EXPECT_EQ(zvtest::Exists(path), c.content != nullptr);
    EXPECT_EQ(zvtest::ReadFile(path), c.content != nullptr ? c.content : "");
    EXPECT_EQ(EntriesIn(sub), c.content != nullptr ? 1u : 0u);
    chmod(sub.c_str(), 0777);
  }
}

TEST(ReplaceFileContentsTest, WritesThroughSymbolicLinksWhichStayLinks) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link -> text, in the first folder
    bool target_exists;
  };
  const Case cases[] = {
      {"absolute link", {{"list.plist", "@/target.plist"}}, true},
      {"relative chain", {{"list.plist", "hop.plist"}, {"hop.plist", "../other/target.plist"}}, true},
      {"dangling link", {{"list.plist", "@/target.plist"}}, false},
  };
  const mode_t old_mask = umask(002);
  for (const Case& c : cases) {
    TempDir dir;
    const std::string links = dir.File("links"), other = dir.File("other");
    ASSERT_EQ(mkdir(links.c_str(), 0777), 0);
    ASSERT_EQ(mkdir(other.c_str(), 0777), 0);
    const std::string target = other + "/target.plist";
    if (c.target_exists) {
      zvtest::WriteFile(target, std::string(50000, 'o'));
      ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    }
    for (const auto& [link, text] : c.links) {
      const std::string resolved = text[0] == '@' ? other + text.substr(1) : text;
      ASSERT_EQ(symlink(resolved.c_str(), (links + "/" + link).c_str()), 0);
    }
    const std::string path = links + "/list.plist";
    const std::string link_text = LinkText(path);
    std::string error;
    ASSERT_TRUE(zv::ReplaceFileContents(path, "new", &error)) << c.name << ": " << error;
    EXPECT_EQ(zvtest::ReadFile(target), "new") << c.name;
    EXPECT_EQ(LinkText(path), link_text) << c.name;
    EXPECT_EQ(ModeOf(target), c.target_exists ? 0640u : 0664u) << c.name;
    EXPECT_EQ(EntriesIn(links), c.links.size()) << c.name;
    EXPECT_EQ(NamesIn(other), std::vector<std::string>{"target.plist"}) << c.name;
  }
  umask(old_mask);
}

TEST(ReplaceFileContentsTest, LinkLoopFailsAndCreatesNothing) {
  TempDir dir;
  ASSERT_EQ(symlink("b", dir.File("a").c_str()), 0);
  ASSERT_EQ(symlink("a", dir.File("b").c_str()), 0);
  std::string error;
  EXPECT_FALSE(zv::ReplaceFileContents(dir.File("a"), "new", &error));
  EXPECT_EQ(error, "'" + dir.File("a") + "' is a loop of symbolic links");
  EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"a", "b"}));
}

// What a save can follow a list path to, beyond the device nodes, FIFOs,
// directories and /proc links of ListNodesTest: refused with what it is
// before anything is made, every node left as it was (a loop is
// LinkLoopFailsAndCreatesNothing's). A folder link into /proc names a
// descriptor of this test's own file, which keeps its content.
TEST(ReplaceFileContentsTest, ASocketOrAChainIntoProcOrSysIsNeitherFollowedNorReplaced) {
  TempDir dir;
  const int socket_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  ASSERT_TRUE(zv::MakeUnixAddress(dir.File("socket"), &address));
  ASSERT_EQ(::bind(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(socket_fd);
  zvtest::WriteFile(dir.File("own"), "own");
  const int own = ::open(dir.File("own").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(own, 0);
  const struct {
    const char* name;
    std::string link_text;
    std::string leads;  // the reason after the quoted path; empty: no save
  } cases[] = {
      {"socket", "", " leads to a socket, not a regular file"},
      {"to-socket", "socket", " leads to a socket, not a regular file"},
      {"proc-folder", "/proc/self/fd", ""},
      {"through-proc-folder", "proc-folder/" + std::to_string(own), " leads through /proc"},
      {"to-sys", "/sys/kernel/profiling", " leads through /sys"},
  };
  for (const auto& c : cases) {
    if (!c.link_text.empty()) {
      ASSERT_EQ(::symlink(c.link_text.c_str(), dir.File(c.name).c_str()), 0) << c.name;
    }
  }
  const std::vector<std::string> names = NamesIn(dir.path());
  for (const auto& c : cases) {
    if (c.leads.empty()) continue;
    struct stat before {}, after {};
    ASSERT_EQ(::lstat(dir.File(c.name).c_str(), &before), 0);
    std::string error;
    EXPECT_FALSE(zv::ReplaceFileContents(dir.File(c.name), "new", &error)) << c.name;
    EXPECT_EQ(error, "'" + dir.File(c.name) + "'" + c.leads);
    ASSERT_EQ(::lstat(dir.File(c.name).c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << c.name;
  }
  EXPECT_EQ(NamesIn(dir.path()), names);
  EXPECT_EQ(zvtest::ReadFile(dir.File("own")), "own");
  ::close(own);
}

TEST(ReplaceFileContentsTest, KeepsModeAndOwnerOfTheFileBehindTheLink) {
  if (!zvtest::RunningAsRoot()) GTEST_SKIP() << "giving a file away takes root";
  TempDir dir;
  const std::string target = dir.File("target.plist"), link = dir.File("link.plist");
  zvtest::WriteFile(target, "old");
  ASSERT_EQ(chown(target.c_str(), zvtest::kOtherUid, zvtest::kOtherGid), 0);
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  std::string error;
  ASSERT_TRUE(zv::ReplaceFileContents(link, "new", &error)) << error;
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, zvtest::kOtherUid);
  EXPECT_EQ(st.st_gid, zvtest::kOtherGid);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(ReplaceFileContentsTest, RemovesOnlyTemporariesOfEndedProcesses) {
  // A save removes those of its own file; the start-up sweep those of any.
  TempDir dir;
  const std::string ended = std::to_string(EndedProcessId());
  const std::string running = std::to_string(getppid());
  const std::vector<std::string> kept = {
      ".f.plist." + running + ".0.tmp",  // its writer still runs
      "f.plist." + ended + ".0.tmp",     // not hidden: not ours
      ".f.plist." + ended + ".x.tmp",    // not our pattern
      ".f.plist." + ended + ".1.tmp~",   // nor this
  };
  for (const std::string& name : kept) zvtest::WriteFile(dir.File(name), "x");
  zvtest::WriteFile(dir.File(".f.plist." + ended + ".7.tmp"), "stale");
  zvtest::WriteFile(dir.File(".g.plist." + ended + ".0.tmp"), "another file's");
  std::string error;
  ASSERT_TRUE(zv::ReplaceFileContents(dir.File("f.plist"), "new", &error)) << error;
  std::vector<std::string> expected = kept;
  expected.push_back("f.plist");
  expected.push_back(".g.plist." + ended + ".0.tmp");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(NamesIn(dir.path()), expected);

  zv::RemoveStaleTemporariesIn(dir.path());
  expected.erase(std::find(expected.begin(), expected.end(), ".g.plist." + ended + ".0.tmp"));
  EXPECT_EQ(NamesIn(dir.path()), expected);
}

TEST(ReplaceFileContentsTest, KilledWriterLeavesOldOrNewContentAndTheNextSaveNoTemporary) {
  TempDir dir;
  const std::string path = dir.File("list.plist");
  const std::size_t size = 4 << 20;
  zvtest::WriteFile(path, std::string(size, 'a'));
  for (int round = 0; round < 12; ++round) {
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      std::string error;
      for (int i = 0;; ++i) zv::ReplaceFileContents(path, std::string(size, i % 2 ? 'a' : 'b'), &error);
    }
    usleep(static_cast<useconds_t>(2000 + round * 3000));
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    const std::string content = zvtest::ReadFile(path);
    ASSERT_EQ(content.size(), size) << "round " << round;
    EXPECT_TRUE(content == std::string(size, 'a') || content == std::string(size, 'b')) << "round " << round;
    // Only a kill between naming the finished file and the rename leaves
    // one; the next save removes it.
    std::string error;
    ASSERT_TRUE(zv::ReplaceFileContents(path, content, &error)) << error;
    EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"list.plist"}) << "round " << round;
  }
}

}  // namespace

namespace {

TEST(AppendToFileContentsTest, KeepsTheLeadingBytesAndAppends) {
  TempDir dir;
  const std::string path = dir.File("pieces.dummy");
  std::string earlier(200000, 'e');
  zvtest::WriteFile(path, earlier);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const struct {
    const char* name;
    std::size_t kept;
    std::string expected;
  } cases[] = {
      {"all kept", earlier.size(), earlier + "+piece"},
      {"none kept", 0, "+piece"},
  };
  for (const auto& c : cases) {
    zvtest::WriteFile(path, earlier);
    const int fd = zv::OpenRegularFileForReading(path.c_str());
    ASSERT_GE(fd, 0);
    std::string error;
    EXPECT_TRUE(zv::AppendToFileContents(path, fd, c.kept, "+piece", &error)) << c.name << ": " << error;
    ::close(fd);
    EXPECT_EQ(zvtest::ReadFile(path), c.expected) << c.name;
    EXPECT_EQ(ModeOf(path), 0640u) << c.name;
    EXPECT_EQ(EntriesIn(dir.path()), 1u) << c.name;
  }
  // A file cut short meanwhile fails the append and keeps what it holds.
  zvtest::WriteFile(path, "short");
  const int fd = zv::OpenRegularFileForReading(path.c_str());
  std::string error;
  EXPECT_FALSE(zv::AppendToFileContents(path, fd, 100, "+piece", &error));
  ::close(fd);
  EXPECT_EQ(zvtest::ReadFile(path), "short");
}

TEST(AppendToFileContentsTest, ReadOnlyDirectoryAppendsInPlace) {
  TempDir dir;
  const std::string sub = dir.File("locked");
  ASSERT_EQ(mkdir(sub.c_str(), 0777), 0);
  const std::string path = sub + "/pieces.dummy";
  zvtest::WriteFile(path, "earlier|stale tail");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
  const int result = zvtest::RunAsOtherUser([&] {
    const int fd = zv::OpenRegularFileForReading(path.c_str());
    std::string error;
    const bool appended = zv::AppendToFileContents(path, fd, 8, "piece", &error);
    ::close(fd);
    return appended ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(zvtest::ReadFile(path), "earlier|piece");
  EXPECT_EQ(EntriesIn(sub), 1u);
  chmod(sub.c_str(), 0777);
}

}  // namespace
