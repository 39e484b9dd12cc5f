/* SPDX-License-Identifier: MIT */
/* glib_dialog: how a print dialog built on GLib uses zvxpcd without ever
 * blocking its main loop.
 *
 *   glib_dialog USER MODEL ADDRESS [COMMUNITY]
 *
 * The walk of the printer at ADDRESS is sent with zvxpc_walk_send; the
 * main loop watches the connection for the events zvxpc_events names,
 * writes what is left of the request with zvxpc_flush when the connection
 * is writable, and collects the reply when it is readable. Once
 * the walk is done, the profile list of USER and MODEL is read on a worker
 * thread with libzvplist, and the main loop shows the RGB menu. The
 * service's socket is $ZVXPC_SOCKET, else $XDG_RUNTIME_DIR/zvxpcd.sock; its
 * lists are in the service's default folder.
 *
 * Build: cc glib_dialog.c $(pkg-config --cflags --libs zvxpc zvplist glib-2.0 gio-2.0) */
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>

#include <gio/gio.h>
#include <glib-unix.h>
#include <zvplist.h>
#include <zvxpc.h>

typedef struct {
    GMainLoop *loop;
    zvxpc_client *client;
    const char *user;
    const char *model;
    guint watch;            /* the watch of the connection, 0 when none */
    int watched_fd;         /* what it watches */
    GIOCondition watched;
    int status; /* the program's exit status */
} Dialog;

/* The three lists of one profile list, read on a worker thread. */
typedef struct {
    ProfileList rgb, sim, dst;
} Lists;

static void read_lists(GTask *task, gpointer source, gpointer data, GCancellable *cancellable) {
    Dialog *dialog = data;
    Lists *lists = g_new0(Lists, 1);
    char *error = NULL;
    char *path = zvplist_path(NULL, dialog->user, dialog->model);
    (void)source;
    (void)cancellable;
    if (path == NULL) {
        g_task_return_new_error(task, G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, "no profile list for these names");
    } else if (zvplist_read(path, &lists->rgb, &lists->sim, &lists->dst, &error) != 0) {
        g_task_return_new_error(task, G_IO_ERROR, G_IO_ERROR_FAILED, "%s", error != NULL ? error : "out of memory");
    } else {
        g_task_return_pointer(task, g_steal_pointer(&lists), g_free);
    }
    g_free(lists);
    free(error);
    free(path);
}

/* Back on the main loop: shows the RGB menu. */
static void show_menu(GObject *source, GAsyncResult *result, gpointer data) {
    Dialog *dialog = data;
    GError *error = NULL;
    Lists *lists = g_task_propagate_pointer(G_TASK(result), &error);
    int slot;
    (void)source;
    if (lists == NULL) {
        g_printerr("cannot read the profile list: %s\n", error->message);
        g_error_free(error);
        dialog->status = 1;
    } else {
        g_print("RGB menu (%d):\n", (int)lists->rgb.iNum);
        for (slot = 0; slot < ZV_PROFILE_SLOTS; ++slot) {
            if (lists->rgb.slots[slot].InMenu != ZV_INMENU_EMPTY) {
                g_print("  %s  (%s)\n", lists->rgb.slots[slot].ProfileName, lists->rgb.slots[slot].FileName);
            }
        }
        g_free(lists);
    }
    g_main_loop_quit(dialog->loop);
}

/* One walk reply: read the list when the walk worked. */
static void on_walk_reply(Dialog *dialog, const char *reply) {
    int result;
    GTask *task;
    if (zvxpc_walk_result(reply, &result) != 0) {
        g_printerr("not a walk result: %s\n", reply);
        dialog->status = 1;
        g_main_loop_quit(dialog->loop);
        return;
    }
    g_print("walk: iRet=%d\n", result);
    task = g_task_new(NULL, NULL, show_menu, dialog);
    g_task_set_task_data(task, dialog, NULL);
    g_task_run_in_thread(task, read_lists);
    g_object_unref(task);
}

static gboolean on_ready(gint fd, GIOCondition condition, gpointer data);

/* Watches the connection for the events zvxpc_events names now: the
 * descriptor and the events change with each call on the client, so this
 * runs after each. Keeps the watch when nothing changed, else replaces it.
 * Called when no watch exists yet, or from the watch's own callback, whose
 * result it gives (G_SOURCE_REMOVE when the watch was replaced). */
static gboolean watch_connection(Dialog *dialog) {
    int events = zvxpc_events(dialog->client);
    int fd = zvxpc_fd(dialog->client);
    GIOCondition wanted = 0;
    if (events > 0 && (events & POLLIN) != 0) wanted |= G_IO_IN;
    if (events > 0 && (events & POLLOUT) != 0) wanted |= G_IO_OUT;
    if (dialog->watch != 0 && fd == dialog->watched_fd && wanted == dialog->watched) return G_SOURCE_CONTINUE;
    dialog->watch = wanted != 0 ? g_unix_fd_add(fd, wanted, on_ready, dialog) : 0;
    dialog->watched_fd = fd;
    dialog->watched = wanted;
    return G_SOURCE_REMOVE;
}

/* Takes every reply that is complete. Each request ends in one reply or
 * one error, so the loop counts on both. */
static void take_replies(Dialog *dialog) {
    char *reply;
    int status;
    while ((status = zvxpc_receive(dialog->client, &reply)) != 1) {
        if (status < 0 && errno == ENOMSG) return; /* every reply is in */
        if (status < 0) {                          /* this request failed */
            g_printerr("walk: %s\n", zvxpc_error(dialog->client));
            dialog->status = 1;
            g_main_loop_quit(dialog->loop);
            continue;
        }
        on_walk_reply(dialog, reply);
        free(reply);
    }
}

/* The connection is ready for what was watched: writes what the socket
 * takes of the request when it is writable (a failure ends the request
 * through zvxpc_receive), takes the replies when it is readable, then
 * watches for what comes next. */
static gboolean on_ready(gint fd, GIOCondition condition, gpointer data) {
    Dialog *dialog = data;
    (void)fd;
    if ((condition & G_IO_OUT) != 0 && zvxpc_flush(dialog->client) < 0) {
        g_printerr("sending: %s\n", zvxpc_error(dialog->client));
    }
    if ((condition & (G_IO_IN | G_IO_HUP | G_IO_ERR)) != 0) take_replies(dialog);
    return watch_connection(dialog);
}

int main(int argc, char **argv) {
    Dialog dialog = {0};
    const char *walk_arguments[] = {"-v", "2c", "-c", "public", NULL, ZVXPC_PROFILE_TABLE_OID};
    if (argc < 4 || argc > 5) {
        fprintf(stderr, "usage: %s USER MODEL ADDRESS [COMMUNITY]\n", argv[0]);
        return 2;
    }
    dialog.user = argv[1];
    dialog.model = argv[2];
    walk_arguments[4] = argv[3];
    if (argc == 5) walk_arguments[3] = argv[4];
    dialog.client = zvxpc_connect(NULL);
    if (dialog.client == NULL) {
        perror("zvxpc_connect");
        return 1;
    }
    if (zvxpc_walk_send(dialog.client, dialog.user, dialog.model, 6, walk_arguments) != 0) {
        fprintf(stderr, "zvxpc_walk_send: %s\n", zvxpc_error(dialog.client));
        zvxpc_close(dialog.client);
        return 1;
    }
    /* Sending may have made a new connection: watch it from now on. */
    watch_connection(&dialog);
    dialog.loop = g_main_loop_new(NULL, FALSE);
    g_main_loop_run(dialog.loop);
    if (dialog.watch != 0) g_source_remove(dialog.watch);
    g_main_loop_unref(dialog.loop);
    zvxpc_close(dialog.client);
    return dialog.status;
}
