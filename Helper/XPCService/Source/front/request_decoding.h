// SPDX-License-Identifier: MIT
// Cutting the fields of the service's request texts out at their marker
// texts. Pure text processing: nothing here touches a file.
//
// Markers are found by plain, case-sensitive search for their first
// occurrence in the whole request text. A field is never cut outside the
// text: when a marker that a field is cut against is missing, or the
// markers stand in the wrong order, the field is treated as missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zvxpc.h"

namespace zv {

inline constexpr std::string_view kSwapTypeMarker = ZVXPC_MARKER_SWAP_TYPE;
inline constexpr std::string_view kCurrentPathMarker = ZVXPC_MARKER_CURRENT_PATH;
inline constexpr std::string_view kPreviousPathMarker = ZVXPC_MARKER_PREVIOUS_PATH;
/// A swap field whose whole text is this word counts as absent.
inline constexpr std::string_view kAbsentFieldWord = ZVXPC_ABSENT_PATH;
inline constexpr std::string_view kUrlEndMarker = ZVXPC_MARKER_URL_END;
inline constexpr std::string_view kModelNameMarker = ZVXPC_MARKER_MODEL_NAME;
inline constexpr std::string_view kUserNameMarker = ZVXPC_MARKER_USER_NAME;
inline constexpr std::string_view kWalkArgumentSeparator = ZVXPC_MARKER_WALK_ARGUMENT;

inline constexpr std::string_view kReplyTrue = ZVXPC_REPLY_TRUE;
inline constexpr std::string_view kReplyFalse = ZVXPC_REPLY_FALSE;

/// The integer value of `text` read the way the other platform's text
/// objects read one: leading white space (blank, tab, line feed, vertical
/// tab, form feed, carriage return) skipped, an optional '+' or '-', then
/// decimal digits up to the first other character; 0 when there are no
/// digits; clamped to the signed 32-bit range.
std::int32_t ReadIntValue(std::string_view text);

/// The path of a path request (write-access test, existence test,
/// removal): the whole text, unchanged. nullopt when there is no argument
/// object, or when the text holds a zero byte (the file system would see
/// a different, shorter path).
std::optional<std::string> DecodePathRequest(const std::optional<std::string>& request);

/// The fields of a swap request: "TYPE:ARG_iSwapType CURRENT
/// :ARG_cFooCurrentString PREVIOUS:ARG_cFooPrevString" (without blanks).
struct SwapFields {
  std::int32_t type = 0;
  std::optional<std::string> current;   // nullopt: absent
  std::optional<std::string> previous;  // nullopt: absent
};

/// Decodes a swap request. The type is the text before the type marker
/// read with ReadIntValue ("NULL", or no marker: 0). The current path lies
/// between the type marker and the current marker, the previous path
/// between the current marker and the previous marker. A path is absent
/// when its text is exactly "NULL" or holds a zero byte, when its own
/// marker is missing, and when the markers before it are missing or out of
/// order (each marker must start at or after the end of the one before).
/// Text after the last marker is ignored. No argument object: type 0, no
/// paths.
SwapFields DecodeSwapRequest(const std::optional<std::string>& request);

/// The URL text and the body of a write request.
struct UrlAndBody {
  std::string_view url;   // everything before the first ":AddURL:END"
  std::string_view body;  // everything after it, unchanged
};

/// Splits a write request at the first ":AddURL:END"; the fields view
/// `*request`, which must outlive them. False when there is no argument
/// object or the marker does not occur.
bool SplitUrlAndBody(const std::optional<std::string>& request, UrlAndBody* fields);

/// The fields of a walk request: "MODEL:ModelName:ENDUSER:USErName:END"
/// followed by the walk arguments.
struct WalkFields {
  std::string_view model;
  std::string_view user;
  std::string_view arguments;  // everything after ":USErName:END"
};

/// Cuts a walk request. False when either name marker is missing or the
/// user name marker starts before the end of the model name marker.
bool DecodeWalkFields(std::string_view text, WalkFields* fields);

/// Splits the walk argument text at every ":arg:" into n components (a
/// text without separator is one; adjacent separators give empty ones)
/// and drops the last component, so `*arguments` gets n - 1 entries (views
/// into `text`). False, leaving `*arguments` empty, when that would be
/// more than `max_arguments`.
bool SplitWalkArguments(std::string_view text, std::size_t max_arguments,
                        std::vector<std::string_view>* arguments);

}  // namespace zv
