// SPDX-License-Identifier: MIT
// The fields of the service's status reply: each line's field, the folder
// running to the end of the text, fields passed over, replies that are no
// status reply.
#include "client/status_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using zv::StatusLookup;

constexpr std::string_view kReply =
    "version=0.4.0\nbulk-repetitions=auto\nwalks-running=1\nwalks-waiting=0\n"
    "preferences-dir=/home/a=b/odd\nfolder/";

TEST(StatusTextTest, FieldsOfAStatusReply) {
  struct Case {
    std::string_view reply;
    std::string_view name;
    StatusLookup lookup;
    std::string value;
  };
  const Case cases[] = {
      {kReply, "version", StatusLookup::kFound, "0.4.0"},
      {kReply, "preferences-dir", StatusLookup::kFound, "/home/a=b/odd\nfolder/"},
      // A field name inside the folder's value is part of the folder.
      {"preferences-dir=/x/\nversion=9/", "version", StatusLookup::kAbsent, ""},
      {kReply, "uptime", StatusLookup::kAbsent, ""},
      {"future=1\nversion=0.5.0", "version", StatusLookup::kFound, "0.5.0"},
      {"version=", "version", StatusLookup::kFound, ""},
      {"", "version", StatusLookup::kMalformed, ""},
      {"TRUE", "version", StatusLookup::kMalformed, ""},
      {"version=1\nno field here\npreferences-dir=/", "preferences-dir", StatusLookup::kMalformed, ""},
  };
  for (const Case& c : cases) {
    std::string value;
    EXPECT_EQ(zv::StatusFieldOf(c.reply, c.name, &value), c.lookup) << c.name << " in " << c.reply;
    EXPECT_EQ(value, c.value) << c.name << " in " << c.reply;
  }
}

}  // namespace
