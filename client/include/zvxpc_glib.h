/* SPDX-License-Identifier: MIT */
/* zvxpc_glib.h: a zvxpc client on a GLib main loop, with no watch written
 * by hand.
 *
 * zvxpc_glib_attach attaches a client to a GMainContext as a GSource.
 * Before each poll the source asks the client which descriptor and events
 * to wait for (zvxpc_fd, zvxpc_events), so it follows every call made on
 * the client (a send, a reconnection) by itself; when the descriptor is
 * ready it writes what is queued (zvxpc_flush) and takes every reply that
 * is complete (zvxpc_receive), handing each to the reply callback, in
 * request order: status 0 with the reply text (malloc'ed: the callback
 * free()s it), or -1 with errno and zvxpc_error set, as zvxpc_receive
 * gives them. Send with zvxpc_send, zvxpc_walk_explain_send or
 * zvxpc_watch_send from the loop's thread, as at any time.
 *
 * Header only: include it after <glib.h> is available, and build with
 * `pkg-config --cflags --libs zvxpc zvplist gio-2.0` (or glib-2.0).
 * Since 0.5. */
#ifndef ZVXPC_GLIB_H
#define ZVXPC_GLIB_H

#include <errno.h>
#include <poll.h>

#include <glib.h>
#include <zvxpc.h>

/* Receives one reply (status 0, `reply` to be free()d) or one failed
 * request (status -1, `reply` NULL, errno set). */
typedef void (*ZvxpcGlibReplyFunc)(zvxpc_client *client, int status, char *reply, gpointer data);

typedef struct {
    GSource source;
    zvxpc_client *client;
    ZvxpcGlibReplyFunc on_reply;
    gpointer data;
    GPollFD poll_fd;
    gboolean polling;
    int last_events; /* what the client waited for at the last prepare */
} ZvxpcGlibSource;

/* Follows the client's descriptor and events; dispatches at once when the
 * client stopped waiting for anything (a closed connection whose requests
 * end without waiting). */
static inline gboolean zvxpc_glib_prepare(GSource *source, gint *timeout) {
    ZvxpcGlibSource *self = (ZvxpcGlibSource *)source;
    const int fd = zvxpc_fd(self->client);
    const int events = zvxpc_events(self->client);
    const gboolean stopped_waiting = self->last_events > 0 && events <= 0;
    if (self->polling && self->poll_fd.fd != fd) {
        g_source_remove_poll(source, &self->poll_fd);
        self->polling = FALSE;
    }
    if (!self->polling && fd >= 0) {
        self->poll_fd.fd = fd;
        g_source_add_poll(source, &self->poll_fd);
        self->polling = TRUE;
    }
    self->poll_fd.events = 0;
    if (events > 0 && (events & POLLIN) != 0) self->poll_fd.events |= G_IO_IN | G_IO_HUP | G_IO_ERR;
    if (events > 0 && (events & POLLOUT) != 0) self->poll_fd.events |= G_IO_OUT | G_IO_ERR;
    self->last_events = events;
    *timeout = -1;
    return stopped_waiting;
}

static inline gboolean zvxpc_glib_check(GSource *source) {
    ZvxpcGlibSource *self = (ZvxpcGlibSource *)source;
    return self->polling && (self->poll_fd.revents & self->poll_fd.events) != 0;
}

/* Writes what is queued, then hands over every reply that is complete. */
static inline gboolean zvxpc_glib_dispatch(GSource *source, GSourceFunc callback, gpointer user_data) {
    ZvxpcGlibSource *self = (ZvxpcGlibSource *)source;
    char *reply = NULL;
    int status;
    (void)callback;
    (void)user_data;
    if ((self->poll_fd.revents & G_IO_OUT) != 0) (void)zvxpc_flush(self->client);
    while ((status = zvxpc_receive(self->client, &reply)) != 1) {
        if (status < 0 && errno == ENOMSG) break; /* no request pending */
        self->on_reply(self->client, status, status == 0 ? reply : NULL, self->data);
        reply = NULL;
    }
    self->poll_fd.revents = 0;
    return G_SOURCE_CONTINUE;
}

/* Attaches `client` to `context` (NULL: the default context): replies go
 * to `on_reply` with `data`. Returns the source, which the context holds;
 * g_source_destroy() it before zvxpc_close(client). */
static inline GSource *zvxpc_glib_attach(zvxpc_client *client, GMainContext *context, ZvxpcGlibReplyFunc on_reply,
                                         gpointer data) {
    static GSourceFuncs funcs = {zvxpc_glib_prepare, zvxpc_glib_check, zvxpc_glib_dispatch, NULL, NULL, NULL};
    GSource *source = g_source_new(&funcs, sizeof(ZvxpcGlibSource));
    ZvxpcGlibSource *self = (ZvxpcGlibSource *)source;
    self->client = client;
    self->on_reply = on_reply;
    self->data = data;
    self->poll_fd.fd = -1;
    g_source_set_name(source, "zvxpc");
    g_source_attach(source, context);
    g_source_unref(source);
    return source;
}

#endif /* ZVXPC_GLIB_H */
