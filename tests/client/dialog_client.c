/* SPDX-License-Identifier: MIT */
/* A print dialog's use of the installed libraries, built outside the tree
 * against the installed headers: walks the printer at argv[2] through the
 * service at argv[1] on a poll loop (zvxpc_walk_send, zvxpc_receive,
 * zvxpc_walk_result), reads the walked list from two threads at once
 * (zvplist_path in the folder argv[3], zvplist_read), saves a list of
 * several MiB while a walk of the silent device at argv[6] holds the
 * service, on a poll loop that never waits (zvxpc_send, zvxpc_events,
 * zvxpc_flush), then creates the file argv[4] and waits for the file
 * argv[5]: meanwhile the service is restarted, and the same client asks
 * once more. Prints one line per step. */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zvplist.h>
#include <zvxpc.h>

struct reader {
    const char *path;
    ProfileList rgb, sim, dst;
    int status;
    char *error;
};

static void *read_list(void *data) {
    struct reader *reader = data;
    reader->status = zvplist_read(reader->path, &reader->rgb, &reader->sim, &reader->dst, &reader->error);
    return NULL;
}

/* The walk's result through the event-loop functions, or -99. */
static int walk_on_poll_loop(zvxpc_client *client, const char *address) {
    const char *arguments[] = {"-v", "2c", "-c", "public", NULL, ZVXPC_PROFILE_TABLE_OID};
    struct pollfd readable;
    char *reply = NULL;
    int status = 1, result = -99;
    arguments[4] = address;
    if (zvxpc_walk_send(client, "dave", "PX-300", 6, arguments) != 0) return -99;
    while (status == 1) {
        readable.fd = zvxpc_fd(client);
        readable.events = POLLIN;
        if (poll(&readable, 1, 30000) != 1) return -99;
        status = zvxpc_receive(client, &reply);
    }
    if (status == 0 && zvxpc_walk_result(reply, &result) != 0) result = -99;
    free(reply);
    return result;
}

/* Bytes of the list saved behind the walk: far more than a socket holds. */
#define LARGE_LIST_BYTES (6L * 1024 * 1024)
/* The poll loop's timer, in milliseconds; it gives up after 60 s of ticks. */
#define TICK_MS 20
#define MOST_TICKS 3000

/* The replies of a walk and a save sent behind it, and how the poll loop
 * went while the save was still queued. */
struct save_behind_walk {
    char *replies[2];
    int count;
    int queued_ticks; /* timer ticks on which zvxpc_flush returned 1 */
};

/* Takes every reply that is complete. */
static void take_replies(zvxpc_client *client, struct save_behind_walk *save) {
    char *reply;
    int status;
    while ((status = zvxpc_receive(client, &reply)) != 1) {
        if (status < 0 && errno == ENOMSG) return;
        if (status < 0 || save->count == 2) {
            printf("unexpected: %s\n", status < 0 ? zvxpc_error(client) : reply);
            if (status == 0) free(reply);
            continue;
        }
        save->replies[save->count++] = reply;
    }
}

/* One turn of the dialog's loop: waits for what zvxpc_events names, or a
 * timer tick, and serves whichever came. False when the loop must stop. */
static int serve_once(zvxpc_client *client, struct save_behind_walk *save, int *ticks) {
    struct pollfd watched;
    int ready;
    watched.fd = zvxpc_fd(client);
    watched.events = (short)zvxpc_events(client);
    if (watched.events == 0) return 0;
    ready = poll(&watched, 1, TICK_MS);
    if (ready < 0 || ++*ticks > MOST_TICKS) {
        printf("gave up waiting\n");
        return 0;
    }
    /* The timer: the dialog does its own work, and offers the queue the
     * room the socket may have. */
    if (ready == 0 && (watched.events & POLLOUT) != 0 && zvxpc_flush(client) == 1) ++save->queued_ticks;
    if ((watched.revents & (POLLOUT | POLLERR | POLLHUP)) != 0 && zvxpc_flush(client) < 0) {
        printf("flush: %s\n", zvxpc_error(client));
    }
    if ((watched.revents & (POLLIN | POLLERR | POLLHUP)) != 0) take_replies(client, save);
    return 1;
}

/* Walks the silent device at `silent` (one try of 2 s), and sends a save of
 * LARGE_LIST_BYTES into `folder`/large.plist right behind it: the service
 * reads no more of this connection until the walk has ended, so the save
 * waits in the client's queue while the loop goes on. Prints the outcome. */
static void save_behind_a_walk(zvxpc_client *client, const char *silent, const char *folder) {
    const char *arguments[] = {"-v", "2c", "-c", "public", "-r", "0", "-t", "2", NULL, ZVXPC_PROFILE_TABLE_OID};
    static const char url_end[] = ZVXPC_MARKER_URL_END;
    struct save_behind_walk save = {{NULL, NULL}, 0, 0};
    size_t folder_bytes = strlen(folder);
    char *path = malloc(folder_bytes + sizeof "large.plist");
    char *request = malloc(sizeof "file://" + folder_bytes + sizeof "large.plist" + sizeof url_end + LARGE_LIST_BYTES);
    struct stat saved;
    int ticks = 0, head, status, i;
    if (path == NULL || request == NULL) return;
    sprintf(path, "%slarge.plist", folder);
    head = sprintf(request, "file://%s%s", path, url_end);
    memset(request + head, 'x', LARGE_LIST_BYTES);
    request[head + LARGE_LIST_BYTES] = '\0';
    arguments[8] = silent;
    status = zvxpc_walk_send(client, "erin", "PX-400", 10, arguments);
    if (status == 0) status = zvxpc_send(client, ZVXPC_OP_WRITE_DICTIONARY, request);
    printf("save behind a walk: sent %d, non-blocking %s", status,
           (fcntl(zvxpc_fd(client), F_GETFL) & O_NONBLOCK) != 0 ? "yes" : "no");
    while (status == 0 && serve_once(client, &save, &ticks)) {
    }
    printf(", flush left some on a tick %s, walk %s, save %s, file %ld bytes\n", save.queued_ticks > 0 ? "yes" : "no",
           save.count > 0 ? save.replies[0] : "-", save.count > 1 ? save.replies[1] : "-",
           stat(path, &saved) == 0 ? (long)saved.st_size : -1L);
    for (i = 0; i < save.count; ++i) free(save.replies[i]);
    free(request);
    free(path);
}

/* Waits up to 60 s for `path` to exist. */
static int wait_for_file(const char *path) {
    struct timespec pause = {0, 50 * 1000 * 1000};
    int tries;
    for (tries = 0; tries < 1200; ++tries) {
        if (access(path, F_OK) == 0) return 0;
        nanosleep(&pause, NULL);
    }
    return -1;
}

int main(int argc, char **argv) {
    static struct reader readers[2];
    pthread_t threads[2];
    zvxpc_client *client;
    char *path, *reply = NULL;
    FILE *signal_file;
    int i;
    if (argc != 7) return 2;
    client = zvxpc_connect(argv[1]);
    if (client == NULL) {
        printf("connect: %s\n", strerror(errno));
        return 1;
    }
    printf("walk %d\n", walk_on_poll_loop(client, argv[2]));

    path = zvplist_path(argv[3], "dave", "PX-300");
    if (path == NULL) return 1;
    for (i = 0; i < 2; ++i) {
        readers[i].path = path;
        pthread_create(&threads[i], NULL, read_list, &readers[i]);
    }
    for (i = 0; i < 2; ++i) {
        pthread_join(threads[i], NULL);
        printf("thread %d read %d RGB %d %s SIM %d %s\n", i, readers[i].status, (int)readers[i].rgb.iNum,
               readers[i].rgb.slots[0].FileName, (int)readers[i].sim.iNum, readers[i].sim.slots[0].FileName);
        free(readers[i].error);
    }

    save_behind_a_walk(client, argv[6], argv[3]);

    fflush(stdout);
    signal_file = fopen(argv[4], "w");
    if (signal_file == NULL || fclose(signal_file) != 0 || wait_for_file(argv[5]) != 0) return 1;
    printf("after restart %d", zvxpc_call(client, ZVXPC_OP_EXIST, path, 10000, &reply));
    printf(" %s\n", reply != NULL ? reply : zvxpc_error(client));
    free(reply);
    free(path);
    zvxpc_close(client);
    return 0;
}
