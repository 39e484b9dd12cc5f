// SPDX-License-Identifier: MIT
// The walk request's text, composed from its parts, and the walk result
// (and the reason the explained walk gives with it) read from its reply.
// Pure text processing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

/// Fills the walk's program-name slot: the service starts reading options
/// after it.
inline constexpr std::string_view kWalkProgramSlot = "zvxpc";

/// MODEL ":ModelName:END" USER ":USErName:END" "zvxpc:arg:", then each of
/// `arguments` followed by ":arg:". False with a one-line reason in
/// `*error` when the request could not carry them: a name holding a name
/// marker, an argument holding the argument marker, text that is not
/// UTF-8, or no argument at all (a walk of nothing is a failed walk, which
/// takes every listed profile out of the menu).
bool ComposeWalkText(std::string_view user, std::string_view model, const std::vector<std::string_view>& arguments,
                     std::string* text, std::string* error);

/// MODEL ":ModelName:END" USER ":USErName:END": the names of a profile
/// list as the cancel and the watch requests carry them. False with a
/// one-line reason in `*error` for names the request cannot carry.
bool ComposeListNames(std::string_view user, std::string_view model, std::string* text, std::string* error);

/// N of a reply "iRet=N" (an optional '-' and decimal digits within the
/// range of int, nothing else); nullopt for any other reply.
std::optional<int> WalkResultOf(std::string_view reply);

/// What a walk's reply says: the result, and why the walk ended so when
/// the reply says it.
struct WalkOutcome {
  int result = 0;
  std::optional<std::string> reason;  // nullopt: a reply without a reason
  std::optional<int> list;            // enum zvxpc_list_state; nullopt: the reply does not say
};

/// The outcome of the explained walk's reply "iRet=N:Reason:REASON" (the
/// reason is all that follows the first marker, empty allowed), ending in
/// ":List:WORD" when the service says what became of the list (a known
/// WORD after the last such marker: it is then cut from the reason), or of
/// a plain "iRet=N" (no reason); nullopt for any other reply.
std::optional<WalkOutcome> WalkOutcomeOf(std::string_view reply);

/// What a watch's reply says.
enum class WatchReply { kChange, kNothingYet, kMalformed };

/// Reads a watch's reply KIND ":" PATH (a known KIND, a path not empty)
/// into `*kind` and `*path`; the empty reply is kNothingYet.
WatchReply ListChangeOf(std::string_view reply, std::string* kind, std::string* path);

}  // namespace zv
