/* SPDX-License-Identifier: MIT */
/* A print dialog's use of the installed libraries, built outside the tree
 * against the installed headers: walks the printer at argv[2] through the
 * service at argv[1] on a poll loop (zvxpc_walk_send, zvxpc_receive,
 * zvxpc_walk_result), reads the walked list from two threads at once
 * (zvplist_path in the folder argv[3], zvplist_read), then creates the file
 * argv[4] and waits for the file argv[5]: meanwhile the service is
 * restarted, and the same client asks once more. Prints one line per step. */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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
    if (argc != 6) return 2;
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
