// SPDX-License-Identifier: MIT
// "file" URLs to local paths: the accepted forms, escapes, and everything
// that is not a local file URL.
#include <gtest/gtest.h>

#include <string>

#include "platform/file_url.h"

namespace {

TEST(FileUrlTest, AcceptedFormsNameTheirPath) {
  const struct {
    std::string url;
    std::string path;
  } cases[] = {
      {"file:///tmp/a.plist", "/tmp/a.plist"},
      {"file://localhost/tmp/a.plist", "/tmp/a.plist"},
      {"file://LocalHost/tmp/a", "/tmp/a"},
      {"FILE:///tmp/a", "/tmp/a"},
      {"file:///tmp/a%20b", "/tmp/a b"},
      {"file:///tmp/%C3%A9t%C3%A9", "/tmp/\xC3\xA9t\xC3\xA9"},
      {"file:///tmp/a+b", "/tmp/a+b"},
      {"file:///tmp/100%25", "/tmp/100%"},
      {"file:///tmp/dir/", "/tmp/dir/"},
      {"file:///tmp//a", "/tmp//a"},
      {"file:///", "/"},
      {"file:///tmp/a.plist.dummy", "/tmp/a.plist.dummy"},
      {"file:/tmp/a.plist", "/tmp/a.plist"},
      {"File:/tmp/a%20b", "/tmp/a b"},
      {"file:/tmp/dir/", "/tmp/dir/"},
      // The longest text parsed.
      {"file://localhost/" + std::string(zv::kMaxFileUrlBytes - 17, 'a'),
       "/" + std::string(zv::kMaxFileUrlBytes - 17, 'a')},
  };
  for (const auto& c : cases) {
    std::string path, error;
    EXPECT_TRUE(zv::FileUrlToPath(c.url, &path, &error)) << c.url << ": " << error;
    EXPECT_EQ(path, c.path) << c.url;
  }
}

TEST(FileUrlTest, EverythingElseIsRefused) {
  const std::string refused[] = {
      "",
      "/tmp/a",
      "tmp/a",
      "file:tmp/a",
      "file:",
      "file:/tmp/a?x=1",
      "file:/tmp/a#part",
      "file:/tmp/a%00b",
      "file://",
      "file://host/tmp/a",
      "file://user@localhost/tmp/a",
      "file://localhost:8080/tmp/a",
      "file:///tmp/a?x=1",
      "file:///tmp/a#part",
      "file:///tmp/a?.dummy",
      "file:///tmp/a%00b",
      "file:///tmp/a b",
      "file:///tmp/a%zz",
      "http://localhost/tmp/a",
      "ftp:///tmp/a",
      std::string("file:///tmp/a\0b", 15),
      // One byte beyond what any path could need; never parsed.
      "file:///" + std::string(zv::kMaxFileUrlBytes - 7, '/'),
  };
  for (const std::string& url : refused) {
    std::string path = "untouched", error;
    EXPECT_FALSE(zv::FileUrlToPath(url, &path, &error)) << url;
    EXPECT_FALSE(error.empty()) << url;
    EXPECT_EQ(path, "untouched") << url;
  }
}

}  // namespace
