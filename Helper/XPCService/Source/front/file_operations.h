// SPDX-License-Identifier: MIT
// The file work of the service's seven file operations, on the decoded
// fields of a request. Each returns the outcome its reply word tells.
//
// Files these operations create get permission bits 0664 less the
// process's file-creation mask, also when they are created under a
// temporary name first. The write-access test leaves that mask at 002 for
// the rest of the process.
//
// Every operation that answers with an outcome takes an optional `reason`
// (empty on entry): when it returns false and `reason` is not null, it is
// set to why (the failing call and its errno text, or what was wrong with
// the request).
//
// The write-access test and the two writes first create the default
// preferences folder when their path lies in it and it is missing
// (preferences_on_demand.h); when that fails, the reason begins with why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "front/request_decoding.h"

namespace zv {

/// Suffix of the temporary file that the piecewise write appends to.
inline constexpr std::string_view kTemporaryFileSuffix = ".dummy";

/// Write-access test: true when `path` can be opened for writing, or is
/// missing and its directory lets the process create it; a file created
/// for the test is removed again, and a file that another process creates
/// meanwhile is never removed. Sets the file-creation mask to 002. False,
/// with no other effect, for an absent path.
bool TestPathWriteAccess(const std::optional<std::string>& path, std::string* reason = nullptr);

/// Swap of two generations of a file by the swap type (2 back up current,
/// 1 discard previous, 0 restore previous, anything else nothing); every
/// step on an absent path is skipped. No outcome is reported.
void SwapPathGenerations(const SwapFields& fields);

/// Existence test: true when `path` can be opened for reading.
bool PathIsReadable(const std::optional<std::string>& path, std::string* reason = nullptr);

/// Removal of a file or an empty directory. True when it was removed.
bool RemovePath(const std::optional<std::string>& path, std::string* reason = nullptr);

/// Whole-file write: replaces the file that the file URL `url` names with
/// `body`, atomically. False when `url` is not a file URL, when the file
/// exists but the process may not write it (its contents stay), or when
/// the write fails.
bool WriteBodyToUrl(std::string_view url, std::string_view body, std::string* reason = nullptr);

/// Piecewise write, one piece: appends `body` to the temporary file named
/// by `url` followed by ".dummy", replacing that file atomically. The
/// earlier pieces are checked and copied without being held in memory, so
/// an append costs fixed buffers whatever the file's size. A missing
/// temporary file, or one that is not valid UTF-8, counts as empty. False when the URL is not a file URL, when an existing temporary
/// file cannot be read (its earlier pieces would be lost), or when the
/// write fails.
bool AppendBodyToTemporary(std::string_view url, std::string_view body, std::string* reason = nullptr);

/// Piecewise write, the end: renames the temporary file (the path of the
/// file URL `url` followed by ".dummy") over the target in one step. True
/// only when the rename succeeded; otherwise the target is left as it was.
bool MoveTemporaryIntoPlace(std::string_view url, std::string* reason = nullptr);

}  // namespace zv

/// Writes the `size` bytes at `data` to the file that the file URL text
/// `url` (zero-terminated) names, replacing its contents atomically.
/// Returns 1 on success; 0 when `url` is null or not a file URL, `data` is
/// null while `size` is not 0, or the write fails. No error is reported
/// beyond the result.
extern "C" std::uint8_t writeDictionaryToPlistFile_XPC(const char* url, const void* data, std::size_t size);
