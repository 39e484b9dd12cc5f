// SPDX-License-Identifier: MIT
// File URLs parsed with uriparser.
#include "platform/file_url.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/posix_io.h"

namespace zv {
namespace {

std::string_view RangeText(const UriTextRangeA& range) {
  if (range.first == nullptr || range.afterLast == nullptr) return {};
  return {range.first, static_cast<std::size_t>(range.afterLast - range.first)};
}

bool IsPresent(const UriTextRangeA& range) { return range.first != nullptr; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Owns the parsed URL for the length of one conversion.
class ParsedUri {
 public:
  ParsedUri() { std::memset(&uri_, 0, sizeof uri_); }
  ~ParsedUri() { uriFreeUriMembersA(&uri_); }
  ParsedUri(const ParsedUri&) = delete;
  ParsedUri& operator=(const ParsedUri&) = delete;

  bool Parse(std::string_view text) {
    const char* error_position = nullptr;
    return uriParseSingleUriExA(&uri_, text.data(), text.data() + text.size(), &error_position) ==
           URI_SUCCESS;
  }
  const UriUriA& uri() const { return uri_; }

 private:
  UriUriA uri_;
};

// Why the parsed URL is not a local file URL, or empty when it is one.
const char* RefusalOf(const UriUriA& uri) {
  if (!EqualsIgnoringCase(RangeText(uri.scheme), "file")) return "not a file URL";
  // "file:/path" (no authority at all) names a local file as "file:///path"
  // does; without an authority the path must still be absolute.
  if (!IsPresent(uri.hostText) && uri.absolutePath != URI_TRUE) return "file URL with a relative path";
  const std::string_view host = RangeText(uri.hostText);
  if (!host.empty() && !EqualsIgnoringCase(host, "localhost")) return "file URL names another host";
  if (IsPresent(uri.userInfo) || IsPresent(uri.portText)) return "file URL with user or port";
  if (IsPresent(uri.query)) return "file URL with a query";
  if (IsPresent(uri.fragment)) return "file URL with a fragment";
  if (uri.pathHead == nullptr) return "file URL without a path";
  return nullptr;
}

// The path segments joined below the root, still escaped.
std::string EscapedPath(const UriUriA& uri) {
  std::string path;
  for (const UriPathSegmentA* segment = uri.pathHead; segment != nullptr; segment = segment->next) {
    path += '/';
    path += RangeText(segment->text);
  }
  return path;
}

}  // namespace

bool FileUrlToPath(std::string_view url, std::string* path, std::string* error) {
  if (url.size() > kMaxFileUrlBytes) {
    *error = "file URL longer than " + std::to_string(kMaxFileUrlBytes) + " bytes";
    return false;
  }
  ParsedUri parsed;
  if (!parsed.Parse(url)) {
    *error = "not a URL";
    return false;
  }
  if (const char* refusal = RefusalOf(parsed.uri())) {
    *error = refusal;
    return false;
  }
  std::string decoded = EscapedPath(parsed.uri());
  const char* end = uriUnescapeInPlaceExA(decoded.data(), URI_FALSE, URI_BR_DONT_TOUCH);
  decoded.resize(static_cast<std::size_t>(end - decoded.data()));
  if (HoldsZeroByte(decoded)) {
    *error = "file URL path holds an escaped zero byte";
    return false;
  }
  *path = std::move(decoded);
  return true;
}

}  // namespace zv
