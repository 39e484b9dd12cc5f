// SPDX-License-Identifier: MIT
// The seven file operations of the service object, request text in, reply
// word out, checked against the file system; permission cases run as
// another user under root, and as the owner of files closed to everyone
// otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "front/file_operations.h"
#include "front/service.h"
#include "platform/atomic_file.h"
#include "platform/whole_file.h"
#include "support/other_user.h"
#include "support/temp_dir.h"

namespace {

using zvtest::Exists;
using zvtest::ReadFile;
using zvtest::WriteFile;
using Member = void (ZV_XPC_Protocol::*)(const ZV_XPC_Protocol::Request&, const ZV_XPC_Protocol::Reply&);

// Runs one operation; its reply, or "(n replies)" unless there was exactly one.
std::string Call(Member member, const std::optional<std::string>& request) {
  ZVmacServiceXPC service;
  std::vector<std::string> replies;
  (service.*member)(request, [&replies](std::string_view text) { replies.emplace_back(text); });
  return replies.size() == 1 ? replies[0] : "(" + std::to_string(replies.size()) + " replies)";
}

const Member kIsAdmin = &ZV_XPC_Protocol::zvPListIsAdminProfile_XPC;
const Member kSwap = &ZV_XPC_Protocol::zvPListSwapProfile_XPC;
const Member kExist = &ZV_XPC_Protocol::zvPListExistProfile_XPC;
const Member kRemove = &ZV_XPC_Protocol::zvPListRemove_XPC;
const Member kWriteDictionary = &ZV_XPC_Protocol::writeDictionaryToPlistFile_XPC;
const Member kWriteData = &ZV_XPC_Protocol::writeDataToPlistFile_XPC;
const Member kRename = &ZV_XPC_Protocol::writeDataToPlistFileRename_XPC;

std::string Swap(int type, const std::string& current, const std::string& previous) {
  return std::to_string(type) + ":ARG_iSwapType" + current + ":ARG_cFooCurrentString" + previous +
         ":ARG_cFooPrevString";
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Runs `body` as another user; true when it returned 0.
bool AsOtherUser(const std::function<bool()>& body) {
  return zvtest::RunAsOtherUser([&body] { return body() ? 0 : 1; }) == 0;
}

// Resets the process's peak resident memory to what it holds now.
bool ResetPeakResidentMemory() {
  std::ofstream clear_refs("/proc/self/clear_refs");
  clear_refs << "5";
  clear_refs.flush();
  return static_cast<bool>(clear_refs);
}

// The process's peak resident memory in bytes (0 when it cannot be read).
std::size_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string field;
  std::size_t kib = 0;
  while (status >> field) {
    if (field == "VmHWM:" && status >> kib) return kib * 1024;
  }
  return 0;
}

// Writes `size` bytes of `byte` to `path` without holding them in memory.
void WriteRepeatedByte(const std::string& path, std::size_t size, char byte) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string block(1 << 20, byte);
  for (std::size_t left = size; left > 0; left -= std::min(left, block.size())) {
    out.write(block.data(), static_cast<std::streamsize>(std::min(left, block.size())));
  }
  ASSERT_TRUE(out.good()) << path;
}

class FileOperationsTest : public ::testing::Test {
 protected:
  zvtest::TempDir dir_;
  std::string Url(const std::string& name) const { return "file://" + dir_.File(name); }
};

// What the write access test answers for each file and folder is the
// store's (WriteAccessTest); here the request reaches it.
TEST_F(FileOperationsTest, WriteAccessTestLeavesFilesAsTheyWere) {
  const std::string file = dir_.File("current.plist");
  WriteFile(file, "contents");
  EXPECT_EQ(Call(kIsAdmin, file), "TRUE");
  EXPECT_EQ(ReadFile(file), "contents");
  EXPECT_EQ(Call(kIsAdmin, dir_.File("no-dir/x.plist")), "FALSE");
  EXPECT_FALSE(Exists(dir_.File("no-dir")));
  EXPECT_EQ(Call(kIsAdmin, std::nullopt), "FALSE");
}

TEST_F(FileOperationsTest, WriteAccessTestRefusesWhatTheUserCannotWrite) {
  const std::string file = dir_.File("owned.plist");
  WriteFile(file, "keep");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  const std::string closed_dir = dir_.File("closed");
  ASSERT_EQ(::mkdir(closed_dir.c_str(), 0555), 0);
  EXPECT_TRUE(AsOtherUser([&] {
    return Call(kIsAdmin, file) == "FALSE" && Call(kIsAdmin, closed_dir + "/new.plist") == "FALSE";
  }));
  EXPECT_EQ(ReadFile(file), "keep");
  EXPECT_FALSE(Exists(closed_dir + "/new.plist"));
}

// Requests with an unknown type or absent paths change nothing; a restore
// shows the type and both paths reach the store in their places. What each
// type does is the store's to show (FileAdminTest), how the fields are cut
// is DecodeSwapRequestTest's. Every swap answers TRUE.
TEST_F(FileOperationsTest, SwapCarriesOutTheOperationItNames) {
  const std::string current = dir_.File("c.plist"), previous = dir_.File("p.plist");
  WriteFile(current, "current");
  WriteFile(previous, "previous");
  const std::optional<std::string> requests[] = {
      Swap(3, current, previous),
      Swap(0, "NULL", previous),                                               // restore needs both paths
      current + ":ARG_cFooCurrentString" + previous + ":ARG_cFooPrevString",  // type marker missing
      std::nullopt,
  };
  for (const auto& request : requests) {
    EXPECT_EQ(Call(kSwap, request), "TRUE") << request.value_or("(none)");
    EXPECT_EQ(ReadFile(current), "current") << request.value_or("(none)");
    EXPECT_EQ(ReadFile(previous), "previous") << request.value_or("(none)");
  }
  EXPECT_EQ(Call(kSwap, Swap(0, current, previous)), "TRUE");
  EXPECT_EQ(ReadFile(current), "previous");
  EXPECT_FALSE(Exists(previous));
}

TEST_F(FileOperationsTest, ExistenceTestAsksForReadability) {
  const std::string file = dir_.File("e.plist");
  WriteFile(file, "x");
  EXPECT_EQ(Call(kExist, file), "TRUE");
  EXPECT_EQ(Call(kExist, dir_.File("missing")), "FALSE");
  EXPECT_EQ(Call(kExist, std::nullopt), "FALSE");
  EXPECT_EQ(Call(kExist, file + std::string("\0suffix", 7)), "FALSE");

  ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
  EXPECT_TRUE(AsOtherUser([&] { return Call(kExist, file) == "FALSE"; }));

  // A FIFO nobody writes to is answered at once instead of blocking.
  const std::string fifo = dir_.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(Call(kExist, fifo), "TRUE");
}

TEST_F(FileOperationsTest, RemovalOfFilesAndEmptyDirectories) {
  const std::string file = dir_.File("r.plist"), empty = dir_.File("empty"), full = dir_.File("full");
  WriteFile(file, "x");
  ::mkdir(empty.c_str(), 0755);
  ::mkdir(full.c_str(), 0777);
  WriteFile(full + "/inside", "x");
  EXPECT_EQ(Call(kRemove, file), "TRUE");
  EXPECT_FALSE(Exists(file));
  EXPECT_EQ(Call(kRemove, file), "FALSE");
  EXPECT_EQ(Call(kRemove, empty), "TRUE");
  EXPECT_FALSE(Exists(empty));
  EXPECT_EQ(Call(kRemove, full), "FALSE");
  EXPECT_EQ(Call(kRemove, std::nullopt), "FALSE");

  ASSERT_EQ(::chmod(full.c_str(), 0555), 0);
  EXPECT_TRUE(AsOtherUser([&] { return Call(kRemove, full + "/inside") == "FALSE"; }));
  EXPECT_TRUE(Exists(full + "/inside"));
}

TEST_F(FileOperationsTest, WriteDictionaryReplacesTheFileWithTheBody) {
  const std::string file = dir_.File("a b.plist");
  WriteFile(file, "a much longer earlier content");
  const std::string body = "<plist>:AddURL:END\n\xC3\xA9</plist>";
  EXPECT_EQ(Call(kWriteDictionary, "file://" + dir_.path() + "/a%20b.plist:AddURL:END" + body), "TRUE");
  EXPECT_EQ(ReadFile(file), body);
  // An empty body is SplitUrlAndBodyTest's and ReplaceFileContentsTest's.
}

TEST_F(FileOperationsTest, WriteDictionaryRefusesWhatItCannotWrite) {
  const std::string requests[] = {
      Url("x.plist") + "no marker",
      "http://localhost" + dir_.File("x.plist") + ":AddURL:ENDnot a file URL",  // which are: FileUrlTest
      Url("no-dir/x.plist") + ":AddURL:ENDmissing directory",
  };
  for (const std::string& request : requests) EXPECT_EQ(Call(kWriteDictionary, request), "FALSE") << request;
  EXPECT_EQ(Call(kWriteDictionary, std::nullopt), "FALSE");
  EXPECT_FALSE(Exists(dir_.File("x.plist")));

  // Neither the folder nor the file in it lets the request write.
  const std::string closed = dir_.File("closed");
  ASSERT_EQ(::mkdir(closed.c_str(), 0755), 0);
  WriteFile(closed + "/f.plist", "keep");
  ASSERT_EQ(::chmod((closed + "/f.plist").c_str(), 0444), 0);
  ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
  EXPECT_TRUE(AsOtherUser([&] {
    return Call(kWriteDictionary, "file://" + closed + "/f.plist:AddURL:ENDnew") == "FALSE";
  }));
  EXPECT_EQ(ReadFile(closed + "/f.plist"), "keep");
}

int FailingFlush(int) {
  errno = EIO;
  return -1;
}

// A body whose folder flush fails has replaced the file but may not
// survive a power cut: the reply is FALSE, and its reason says the file
// holds the new body.
TEST_F(FileOperationsTest, WriteDictionaryAfterAFailedFolderFlushAnswersFalseAndSaysTheBodyIsInPlace) {
  const std::string file = dir_.File("f.plist");
  WriteFile(file, "old");
  zv::SetFolderFlushForTesting(FailingFlush);
  std::string reason;
  const bool written = zv::WriteBodyToUrl(Url("f.plist"), "new", &reason);
  zv::SetFolderFlushForTesting(nullptr);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(file), "new");
  EXPECT_EQ(reason.rfind("the new content is in place, but its folder could not be flushed (fsync(", 0), 0u)
      << reason;
}

TEST_F(FileOperationsTest, WriteDictionaryKeepsAReadOnlyFileInAWritableDirectory) {
  // The directory lets anyone create and rename files, so only the file's
  // own permission stands between the request and its contents.
  const std::string file = dir_.File("locked.plist");
  WriteFile(file, "keep");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_TRUE(AsOtherUser([&] {
    return Call(kWriteDictionary, Url("locked.plist") + ":AddURL:ENDnew") == "FALSE";
  }));
  EXPECT_EQ(ReadFile(file), "keep");
  EXPECT_EQ(ModeOf(file), 0444u);
}

TEST_F(FileOperationsTest, CreatedFilesGet0664LessTheMask) {
  // A whole file under the mask of 002 is ReplaceFileContentsTest's.
  EXPECT_EQ(Call(kIsAdmin, dir_.File("probe")), "TRUE");  // leaves the mask at 002
  EXPECT_EQ(Call(kWriteData, Url("piece.plist") + ":AddURL:ENDx"), "TRUE");
  EXPECT_EQ(ModeOf(dir_.File("piece.plist.dummy")), 0664u);

  const mode_t saved = ::umask(027);
  EXPECT_EQ(Call(kWriteDictionary, Url("masked.plist") + ":AddURL:ENDx"), "TRUE");
  ::umask(saved);
  EXPECT_EQ(ModeOf(dir_.File("masked.plist")), 0640u);
}

TEST_F(FileOperationsTest, PiecesAreAppendedAndMovedIntoPlace) {
  const std::string target = dir_.File("t.plist"), temporary = target + ".dummy";
  WriteFile(target, "old target");
  EXPECT_EQ(Call(kWriteData, Url("t.plist") + ":AddURL:ENDA"), "TRUE");
  EXPECT_EQ(Call(kWriteData, Url("t.plist") + ":AddURL:ENDB:AddURL:END"), "TRUE");
  EXPECT_EQ(ReadFile(temporary), "AB:AddURL:END");
  EXPECT_EQ(ReadFile(target), "old target");
  EXPECT_EQ(Call(kRename, Url("t.plist")), "TRUE");
  EXPECT_EQ(ReadFile(target), "AB:AddURL:END");
  EXPECT_FALSE(Exists(temporary));
}

TEST_F(FileOperationsTest, RenameWithoutTemporaryKeepsTheTarget) {
  const std::string target = dir_.File("t.plist");
  WriteFile(target, "precious");
  EXPECT_EQ(Call(kRename, Url("t.plist")), "FALSE");
  EXPECT_EQ(ReadFile(target), "precious");
  EXPECT_EQ(Call(kRename, dir_.File("t.plist")), "FALSE");
  EXPECT_EQ(Call(kRename, std::nullopt), "FALSE");
  EXPECT_EQ(ReadFile(target), "precious");
}

TEST_F(FileOperationsTest, RenameRefusedByTheDirectoryKeepsBothFiles) {
  const std::string closed = dir_.File("closed");
  ASSERT_EQ(::mkdir(closed.c_str(), 0755), 0);
  WriteFile(closed + "/t.plist", "target");
  WriteFile(closed + "/t.plist.dummy", "pieces");
  ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
  EXPECT_TRUE(AsOtherUser([&] { return Call(kRename, "file://" + closed + "/t.plist") == "FALSE"; }));
  EXPECT_EQ(ReadFile(closed + "/t.plist"), "target");
  EXPECT_EQ(ReadFile(closed + "/t.plist.dummy"), "pieces");
}

TEST_F(FileOperationsTest, TemporaryThatIsNotUtf8StartsAfresh) {
  const std::string temporary = dir_.File("t.plist.dummy");
  WriteFile(temporary, "\xFF\xFE broken");
  EXPECT_EQ(Call(kWriteData, Url("t.plist") + ":AddURL:ENDfresh"), "TRUE");
  EXPECT_EQ(ReadFile(temporary), "fresh");
}

TEST_F(FileOperationsTest, PiecesBeyondTheBoundAreRefusedAndKept) {
  // Sparse temporaries: zero bytes are valid text, so only the bound refuses.
  const off_t bound = static_cast<off_t>(zv::kMaxWholeFileBytes);
  const std::string temporary = dir_.File("t.plist.dummy");
  for (const off_t size : {bound - 1, bound + 1, off_t{15} * 1000 * 1000 * 1000 * 1000}) {
    WriteFile(temporary, "");
    ASSERT_EQ(::truncate(temporary.c_str(), size), 0);
    EXPECT_EQ(Call(kWriteData, Url("t.plist") + ":AddURL:ENDab"), "FALSE") << size;
    struct stat st;
    ASSERT_EQ(::stat(temporary.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
  }
}

TEST_F(FileOperationsTest, AppendToTheLargestPiecesTakesFixedMemory) {
  const std::string temporary = dir_.File("t.plist.dummy");
  const std::size_t earlier = zv::kMaxWholeFileBytes - 1;
  WriteRepeatedByte(temporary, earlier, 'p');
  ASSERT_TRUE(ResetPeakResidentMemory());
  const std::size_t before = PeakResidentBytes();
  ASSERT_GT(before, 0u);
  EXPECT_EQ(Call(kWriteData, Url("t.plist") + ":AddURL:END!"), "TRUE");
  // Holding the earlier pieces would take 64 MiB at least.
  EXPECT_LT(PeakResidentBytes() - before, std::size_t{8} << 20);
  std::ifstream appended(temporary, std::ios::binary | std::ios::ate);
  ASSERT_EQ(static_cast<std::size_t>(appended.tellg()), earlier + 1);
  char ends[2] = {};
  appended.seekg(-2, std::ios::end);
  appended.read(ends, 2);
  EXPECT_EQ(std::string(ends, 2), "p!");
}

TEST_F(FileOperationsTest, UnreadableTemporaryIsNotOverwritten) {
  const std::string temporary = dir_.File("t.plist.dummy");
  WriteFile(temporary, "earlier pieces");
  ASSERT_EQ(::chmod(temporary.c_str(), 0200), 0);
  EXPECT_TRUE(AsOtherUser([&] { return Call(kWriteData, Url("t.plist") + ":AddURL:ENDmore") == "FALSE"; }));
  ASSERT_EQ(::chmod(temporary.c_str(), 0600), 0);
  EXPECT_EQ(ReadFile(temporary), "earlier pieces");
}

TEST_F(FileOperationsTest, WriteDataRefusesRequestsWithoutMarkerOrFileUrl) {
  EXPECT_EQ(Call(kWriteData, Url("t.plist") + "no marker"), "FALSE");
  EXPECT_EQ(Call(kWriteData, dir_.File("t.plist") + ":AddURL:ENDx"), "FALSE");
  EXPECT_EQ(Call(kWriteData, std::nullopt), "FALSE");
  EXPECT_FALSE(Exists(dir_.File("t.plist.dummy")));
}

TEST_F(FileOperationsTest, CFunctionWritesBytesToTheUrl) {
  const std::string url = Url("c.plist");
  const char bytes[] = {'a', '\0', 'b'};
  EXPECT_EQ(writeDictionaryToPlistFile_XPC(url.c_str(), bytes, sizeof bytes), 1);
  EXPECT_EQ(ReadFile(dir_.File("c.plist")), std::string(bytes, sizeof bytes));
  EXPECT_EQ(writeDictionaryToPlistFile_XPC(url.c_str(), nullptr, 0), 1);
  EXPECT_EQ(ReadFile(dir_.File("c.plist")), "");
  EXPECT_EQ(writeDictionaryToPlistFile_XPC(nullptr, bytes, 1), 0);
  EXPECT_EQ(writeDictionaryToPlistFile_XPC(url.c_str(), nullptr, 5), 0);
  EXPECT_EQ(writeDictionaryToPlistFile_XPC("relative/path", bytes, 1), 0);
}

}  // namespace
