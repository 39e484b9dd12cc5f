/* SPDX-License-Identifier: MIT */
/* glib_dialog: how a print dialog built on GLib uses zvxpcd without ever
 * blocking its main loop.
 *
 *   glib_dialog USER MODEL ADDRESS [MODEL ADDRESS] [COMMUNITY]
 *
 * Each printer (one or two) is walked on a client of its own: one
 * connection runs its requests one after the other, so a second walk on
 * the same connection would wait for the first, while on two connections
 * the service walks the two lists side by side. Each walk is sent with
 * zvxpc_walk_explain_send; each client is attached to the main loop with
 * zvxpc_glib_attach (zvxpc_glib.h), which writes the request and collects
 * the reply as the connection allows and hands the reply to
 * on_walk_reply. zvxpc_walk_reason reads the result and, for a failed
 * walk, the service's reason, which the dialog shows; zvxpc_walk_saved
 * says whether the service could save the list. (A service older
 * than the explained walk refuses it as an unknown operation; the walk is
 * then sent again as the plain walk, whose reply has no reason.) Once a
 * walk is done, the profile list of USER and its MODEL is read on a worker
 * thread with libzvplist, and the main loop shows the RGB menu as
 * zvplist_menu lists it: the entries whose InMenu is 2 or 4 (the last walk
 * reported them) or 5 (a client put them there). The service's socket is $ZVXPC_SOCKET, else
 * $XDG_RUNTIME_DIR/zvxpcd.sock; its lists are in the service's default
 * folder.
 *
 * Build: cc glib_dialog.c $(pkg-config --cflags --libs zvxpc zvplist gio-2.0) */
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gio/gio.h>
#include <zvplist.h>
#include <zvxpc.h>
#include <zvxpc_glib.h>

#define MAX_PRINTERS 2

typedef struct Dialog Dialog;

/* One printer of the dialog, and the client its walk goes on. */
typedef struct {
    Dialog *dialog;
    zvxpc_client *client;
    const char *model;
    const char *walk_arguments[6];
    gboolean plain_walk;    /* the service does not know the explained walk */
    GSource *source;        /* the client on the main loop, NULL when none */
} Printer;

struct Dialog {
    GMainLoop *loop;
    const char *user;
    Printer printers[MAX_PRINTERS];
    int count;
    int open;   /* printers whose menu is not shown yet */
    int status; /* the program's exit status */
};

/* The three lists of one profile list, read on a worker thread. */
typedef struct {
    ProfileList rgb, sim, dst;
} Lists;

/* One printer is done; the program ends with the last. */
static void printer_done(Printer *printer, int status) {
    Dialog *dialog = printer->dialog;
    if (status != 0) dialog->status = status;
    if (--dialog->open == 0) g_main_loop_quit(dialog->loop);
}

static void read_lists(GTask *task, gpointer source, gpointer data, GCancellable *cancellable) {
    Printer *printer = data;
    Lists *lists = g_new0(Lists, 1);
    char *error = NULL;
    char *path = zvplist_path(NULL, printer->dialog->user, printer->model);
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

/* Back on the main loop: shows the printer's RGB menu. */
static void show_menu(GObject *source, GAsyncResult *result, gpointer data) {
    Printer *printer = data;
    GError *error = NULL;
    Lists *lists = g_task_propagate_pointer(G_TASK(result), &error);
    int slots[ZV_PROFILE_SLOTS];
    int shown, i;
    (void)source;
    if (lists == NULL) {
        g_printerr("%s: cannot read the profile list: %s\n", printer->model, error->message);
        g_error_free(error);
        printer_done(printer, 1);
        return;
    }
    g_print("%s: RGB menu:\n", printer->model);
    shown = zvplist_menu(&lists->rgb, slots, ZV_PROFILE_SLOTS);
    for (i = 0; i < shown; ++i) {
        const ProfileRecord *entry = &lists->rgb.slots[slots[i]];
        g_print("  %s  (%s)\n", entry->ProfileName, entry->FileName);
    }
    g_free(lists);
    printer_done(printer, 0);
}

/* One walk reply: says how the walk ended (why, when it failed), then
 * reads the list, which a failed walk changes too. */
static void show_walk(Printer *printer, const char *reply) {
    int result, list;
    char *reason = NULL;
    GTask *task;
    if (zvxpc_walk_reason(reply, &result, &reason) != 0) {
        g_printerr("%s: not a walk result: %s\n", printer->model, reply);
        printer_done(printer, 1);
        return;
    }
    if (result == 0 && zvxpc_walk_saved(reply, &list) == 0 && list == ZVXPC_LIST_NOT_SAVED) {
        g_print("%s: walk iRet=0, list not saved: %s\n", printer->model, reason != NULL ? reason : "");
    } else if (result == 0) {
        g_print("%s: walk iRet=0\n", printer->model);
    } else {
        g_print("%s: walk iRet=%d: %s\n", printer->model, result, reason != NULL ? reason : "the walk failed");
    }
    free(reason);
    task = g_task_new(NULL, NULL, show_menu, printer);
    g_task_set_task_data(task, printer, NULL);
    g_task_run_in_thread(task, read_lists);
    g_object_unref(task);
}

/* Sends the printer's walk: the explained walk, or the plain walk for a
 * service older than it. */
static int send_walk(Printer *printer) {
    if (printer->plain_walk) return zvxpc_walk_send(printer->client, printer->dialog->user, printer->model, 6,
                                                    printer->walk_arguments);
    return zvxpc_walk_explain_send(printer->client, printer->dialog->user, printer->model, 6,
                                   printer->walk_arguments);
}

/* True when the request failed because the service does not know the
 * explained walk (it then closed the connection; the next send makes a
 * new one). */
static gboolean refused_as_unknown(const Printer *printer) {
    return !printer->plain_walk && errno == EPROTO &&
           strncmp(zvxpc_error(printer->client), "unknown operation", strlen("unknown operation")) == 0;
}

/* One reply or one failed request of the printer's client, handed over
 * by the main loop: a service older than the explained walk refuses it,
 * and the walk goes again as the plain walk. */
static void on_walk_reply(zvxpc_client *client, int status, char *reply, gpointer data) {
    Printer *printer = data;
    if (status < 0 && refused_as_unknown(printer)) {
        printer->plain_walk = TRUE;
        if (send_walk(printer) == 0) return;
    }
    if (status < 0) {
        g_printerr("%s: walk: %s\n", printer->model, zvxpc_error(client));
        printer_done(printer, 1);
        return;
    }
    show_walk(printer, reply);
    free(reply);
}

/* Connects the printer's client and sends its walk. */
static int start_walk(Printer *printer) {
    printer->client = zvxpc_connect(NULL);
    if (printer->client == NULL) {
        perror("zvxpc_connect");
        return -1;
    }
    if (send_walk(printer) != 0) {
        fprintf(stderr, "%s: sending the walk: %s\n", printer->model, zvxpc_error(printer->client));
        return -1;
    }
    printer->source = zvxpc_glib_attach(printer->client, NULL, on_walk_reply, printer);
    return 0;
}

int main(int argc, char **argv) {
    Dialog dialog = {0};
    const char *community = "public";
    int i, started = 0;
    if (argc < 4 || argc > 7) {
        fprintf(stderr, "usage: %s USER MODEL ADDRESS [MODEL ADDRESS] [COMMUNITY]\n", argv[0]);
        return 2;
    }
    dialog.user = argv[1];
    dialog.count = (argc - 2) / 2;
    if ((argc - 2) % 2 == 1) community = argv[argc - 1];
    for (i = 0; i < dialog.count; ++i) {
        Printer *printer = &dialog.printers[i];
        const char *arguments[6] = {"-v", "2c", "-c", NULL, NULL, ZVXPC_PROFILE_TABLE_OID};
        arguments[3] = community;
        arguments[4] = argv[3 + 2 * i];
        memcpy(printer->walk_arguments, arguments, sizeof arguments);
        printer->dialog = &dialog;
        printer->model = argv[2 + 2 * i];
    }
    dialog.loop = g_main_loop_new(NULL, FALSE);
    for (i = 0; i < dialog.count; ++i) {
        if (start_walk(&dialog.printers[i]) != 0) break;
        ++started;
    }
    dialog.open = started;
    if (started == dialog.count) g_main_loop_run(dialog.loop);
    for (i = 0; i < dialog.count; ++i) {
        if (dialog.printers[i].source != NULL) g_source_destroy(dialog.printers[i].source);
        zvxpc_close(dialog.printers[i].client);
    }
    g_main_loop_unref(dialog.loop);
    return started == dialog.count ? dialog.status : 1;
}
