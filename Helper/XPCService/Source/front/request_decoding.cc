// SPDX-License-Identifier: MIT
#include "front/request_decoding.h"

#include <algorithm>
#include <limits>

#include "platform/posix_io.h"

namespace zv {
namespace {

bool IsIntValueSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A swap path field: absent for the word "NULL" and for text with a zero byte.
std::optional<std::string> SwapPathField(std::string_view text) {
  if (text == kAbsentFieldWord || HoldsZeroByte(text)) return std::nullopt;
  return std::string(text);
}

// Where a marker starts and ends in the request text.
struct MarkerSpan {
  std::size_t start = std::string_view::npos;
  std::size_t end = std::string_view::npos;
  bool found() const { return start != std::string_view::npos; }
};

MarkerSpan FindMarker(std::string_view text, std::string_view marker) {
  MarkerSpan span;
  span.start = text.find(marker);
  if (span.found()) span.end = span.start + marker.size();
  return span;
}

// The text between two markers, when both occur and `later` starts at or
// after the end of `earlier`.
std::optional<std::string_view> Between(std::string_view text, const MarkerSpan& earlier,
                                        const MarkerSpan& later) {
  if (!earlier.found() || !later.found() || later.start < earlier.end) return std::nullopt;
  return text.substr(earlier.end, later.start - earlier.end);
}

}  // namespace

std::int32_t ReadIntValue(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsIntValueSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  // Accumulated as a magnitude one past the largest, so that clamping
  // covers both ends of the range.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[pos] - '0'), kLimit);
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(std::min<std::int64_t>(magnitude, kLimit - 1));
}

std::optional<std::string> DecodePathRequest(const std::optional<std::string>& request) {
  if (!request || HoldsZeroByte(*request)) return std::nullopt;
  return *request;
}

SwapFields DecodeSwapRequest(const std::optional<std::string>& request) {
  SwapFields fields;
  if (!request) return fields;
  const std::string_view text = *request;
  const MarkerSpan type = FindMarker(text, kSwapTypeMarker);
  const MarkerSpan current = FindMarker(text, kCurrentPathMarker);
  const MarkerSpan previous = FindMarker(text, kPreviousPathMarker);
  if (type.found()) {
    const std::string_view type_text = text.substr(0, type.start);
    fields.type = type_text == kAbsentFieldWord ? 0 : ReadIntValue(type_text);
  }
  const std::optional<std::string_view> current_text = Between(text, type, current);
  if (!current_text) return fields;  // later fields depend on this marker's place
  fields.current = SwapPathField(*current_text);
  if (const auto previous_text = Between(text, current, previous)) {
    fields.previous = SwapPathField(*previous_text);
  }
  return fields;
}

bool SplitUrlAndBody(const std::optional<std::string>& request, UrlAndBody* fields) {
  if (!request) return false;
  const std::string_view text = *request;
  const MarkerSpan marker = FindMarker(text, kUrlEndMarker);
  if (!marker.found()) return false;
  fields->url = text.substr(0, marker.start);
  fields->body = text.substr(marker.end);
  return true;
}

bool DecodeWalkFields(std::string_view text, WalkFields* fields) {
  const MarkerSpan model = FindMarker(text, kModelNameMarker);
  const MarkerSpan user = FindMarker(text, kUserNameMarker);
  const std::optional<std::string_view> user_text = Between(text, model, user);
  if (!user_text) return false;
  fields->model = text.substr(0, model.start);
  fields->user = *user_text;
  fields->arguments = text.substr(user.end);
  return true;
}

bool SplitWalkArguments(std::string_view text, std::size_t max_arguments,
                        std::vector<std::string_view>* arguments) {
  arguments->clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t separator = text.find(kWalkArgumentSeparator, start);
    if (separator == std::string_view::npos) return true;  // the last component is dropped
    if (arguments->size() == max_arguments) {
      arguments->clear();
      return false;
    }
    arguments->push_back(text.substr(start, separator - start));
    start = separator + kWalkArgumentSeparator.size();
  }
}

}  // namespace zv
