// SPDX-License-Identifier: MIT
#include "client/walk_text.h"

#include <charconv>
#include <iterator>

#include "platform/utf8.h"
#include "zvxpc.h"

namespace zv {
namespace {

constexpr std::string_view kModelMarker = ZVXPC_MARKER_MODEL_NAME;
constexpr std::string_view kUserMarker = ZVXPC_MARKER_USER_NAME;
constexpr std::string_view kArgumentMarker = ZVXPC_MARKER_WALK_ARGUMENT;
constexpr std::string_view kResultPrefix = ZVXPC_WALK_RESULT;
constexpr std::string_view kReasonMarker = ZVXPC_REASON_MARKER;
constexpr std::string_view kListMarker = ZVXPC_LIST_MARKER;

// The list words in the order of enum zvxpc_list_state.
constexpr std::string_view kListWords[] = {ZVXPC_LIST_WORD_SAVED, ZVXPC_LIST_WORD_UNCHANGED,
                                           ZVXPC_LIST_WORD_NOT_SAVED, ZVXPC_LIST_WORD_UNTOUCHED,
                                           ZVXPC_LIST_WORD_CANCELLED};
static_assert(ZVXPC_LIST_CANCELLED + 1 == std::size(kListWords));

constexpr std::string_view kChangeWords[] = {ZVXPC_CHANGE_WALK, ZVXPC_CHANGE_WRITE, ZVXPC_CHANGE_RENAME,
                                             ZVXPC_CHANGE_SWAP, ZVXPC_CHANGE_REMOVE};

// The state a list word names; nullopt for another text.
std::optional<int> ListStateOf(std::string_view word) {
  for (std::size_t i = 0; i < std::size(kListWords); ++i) {
    if (kListWords[i] == word) return static_cast<int>(i);
  }
  return std::nullopt;
}

// Cuts the list word from the end of an explained walk's reason.
void TakeListWord(WalkOutcome* outcome) {
  std::string& reason = *outcome->reason;
  const std::size_t marker = reason.rfind(kListMarker);
  if (marker == std::string::npos) return;
  outcome->list = ListStateOf(std::string_view(reason).substr(marker + kListMarker.size()));
  if (outcome->list) reason.erase(marker);
}

bool Holds(std::string_view text, std::string_view marker) { return text.find(marker) != std::string_view::npos; }

// The service cuts the request at the first occurrence of each marker, so
// a name or argument holding one would be read back differently.
bool CheckWalkPart(std::string_view part, bool is_name, std::string* error) {
  if (is_name && (Holds(part, kModelMarker) || Holds(part, kUserMarker))) {
    *error = "a user or model name may not contain \"" + std::string(kModelMarker) + "\" or \"" +
             std::string(kUserMarker) + "\"";
    return false;
  }
  if (!is_name && Holds(part, kArgumentMarker)) {
    *error = "a walk argument may not contain \"" + std::string(kArgumentMarker) + "\"";
    return false;
  }
  if (!IsValidUtf8(part)) {
    *error = is_name ? "a user or model name is not UTF-8 text" : "a walk argument is not UTF-8 text";
    return false;
  }
  return true;
}

}  // namespace

bool ComposeWalkText(std::string_view user, std::string_view model, const std::vector<std::string_view>& arguments,
                     std::string* text, std::string* error) {
  if (arguments.empty()) {
    *error = "no walk arguments: a walk of nothing would take every listed profile out of the menu";
    return false;
  }
  std::string names;
  if (!ComposeListNames(user, model, &names, error)) return false;
  for (std::string_view argument : arguments) {
    if (!CheckWalkPart(argument, false, error)) return false;
  }
  *text = std::move(names);
  text->append(kWalkProgramSlot).append(kArgumentMarker);
  for (std::string_view argument : arguments) text->append(argument).append(kArgumentMarker);
  return true;
}

bool ComposeListNames(std::string_view user, std::string_view model, std::string* text, std::string* error) {
  if (!CheckWalkPart(user, true, error) || !CheckWalkPart(model, true, error)) return false;
  text->assign(model).append(kModelMarker).append(user).append(kUserMarker);
  return true;
}

std::optional<int> WalkResultOf(std::string_view reply) {
  if (reply.substr(0, kResultPrefix.size()) != kResultPrefix) return std::nullopt;
  const std::string_view number = reply.substr(kResultPrefix.size());
  // from_chars takes no '+' and no blanks, as the reply never holds them.
  int result = 0;
  const auto [end, status] = std::from_chars(number.data(), number.data() + number.size(), result);
  if (status != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return result;
}

std::optional<WalkOutcome> WalkOutcomeOf(std::string_view reply) {
  const std::size_t marker = reply.find(kReasonMarker);
  const std::optional<int> result = WalkResultOf(reply.substr(0, marker));
  if (!result) return std::nullopt;
  WalkOutcome outcome;
  outcome.result = *result;
  if (marker != std::string_view::npos) {
    outcome.reason.emplace(reply.substr(marker + kReasonMarker.size()));
    TakeListWord(&outcome);
  }
  return outcome;
}

WatchReply ListChangeOf(std::string_view reply, std::string* kind, std::string* path) {
  if (reply.empty()) return WatchReply::kNothingYet;
  const std::size_t colon = reply.find(':');
  if (colon == std::string_view::npos || colon + 1 == reply.size()) return WatchReply::kMalformed;
  const std::string_view word = reply.substr(0, colon);
  for (const std::string_view known : kChangeWords) {
    if (known != word) continue;
    kind->assign(word);
    path->assign(reply.substr(colon + 1));
    return WatchReply::kChange;
  }
  return WatchReply::kMalformed;
}

}  // namespace zv
