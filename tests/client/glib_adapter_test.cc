// SPDX-License-Identifier: MIT
// zvxpc_glib.h against the real zvxpcd: replies and a failed request
// reach the callback in request order through a GLib main loop, and the
// source follows the client onto the new connection it makes after the
// service closed the old one.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "walk_service.h"
#include "zvxpc.h"
#include "zvxpc_glib.h"

namespace {

struct Replies {
  std::vector<std::string> texts;  // a reply, or "errno:N"
  std::size_t wanted = 0;
  GMainLoop* loop = nullptr;
};

void Collect(zvxpc_client* /*client*/, int status, char* reply, gpointer data) {
  auto* replies = static_cast<Replies*>(data);
  replies->texts.push_back(status == 0 ? std::string(reply) : "errno:" + std::to_string(errno));
  std::free(reply);
  if (replies->texts.size() == replies->wanted) g_main_loop_quit(replies->loop);
}

// Gives up on a loop that never got its replies, so that the test fails
// instead of hanging.
gboolean GiveUp(gpointer data) {
  g_main_loop_quit(static_cast<GMainLoop*>(data));
  return G_SOURCE_CONTINUE;
}

using GlibAdapterTest = zvtest::WalkServiceTest;

TEST_F(GlibAdapterTest, RepliesComeThroughTheMainLoopAcrossAReconnection) {
  StartService();
  zvxpc_client* client = zvxpc_connect(socket_path().c_str());
  ASSERT_NE(client, nullptr) << std::strerror(errno);
  Replies replies;
  replies.loop = g_main_loop_new(nullptr, FALSE);
  GSource* source = zvxpc_glib_attach(client, nullptr, Collect, &replies);
  const guint give_up = g_timeout_add_seconds(60, GiveUp, replies.loop);
  // An error reply closes the connection; the status goes out on a new one.
  ASSERT_EQ(zvxpc_send(client, ZVXPC_OP_EXIST, "/"), 0);
  ASSERT_EQ(zvxpc_send(client, "noSuchOperation:reply:", nullptr), 0);
  replies.wanted = 2;
  g_main_loop_run(replies.loop);
  ASSERT_EQ(replies.texts.size(), 2u);
  ASSERT_EQ(zvxpc_send(client, ZVXPC_OP_STATUS, nullptr), 0) << zvxpc_error(client);
  replies.wanted = 3;
  g_main_loop_run(replies.loop);
  g_source_remove(give_up);
  ASSERT_EQ(replies.texts.size(), 3u);
  EXPECT_EQ(replies.texts[0], ZVXPC_REPLY_TRUE);
  EXPECT_EQ(replies.texts[1], "errno:" + std::to_string(EPROTO));
  EXPECT_EQ(replies.texts[2].rfind("version=", 0), 0u) << replies.texts[2];
  g_source_destroy(source);
  zvxpc_close(client);
  g_main_loop_unref(replies.loop);
}

}  // namespace
